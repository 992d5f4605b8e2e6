/* A shared library that is no PKCS#11 driver: it has neither
 * C_GetFunctionList nor the PKCS#11 functions. */
int zt_not_a_driver(void) { return 42; }
