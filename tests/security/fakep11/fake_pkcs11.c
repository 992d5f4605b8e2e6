/* A small PKCS#11 driver for tests of the key sources. One slot with an
 * initialised token that needs a login (PIN "1234"), holding the certificate
 * whose DER file ZT_FAKE_P11_CERT names and a private key with the same
 * CKA_ID that refuses to decrypt (a signature-only key).
 * ZT_FAKE_P11_HANG names a call that never returns: "initialize", "slots" or
 * "login". Built with ZT_NO_FUNCTION_LIST it exports its functions one by one
 * and no C_GetFunctionList. */
#include <p11-kit/pkcs11.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

static void MaybeHang(const char* call) {
    const char* hang = getenv("ZT_FAKE_P11_HANG");
    if (hang && strcmp(hang, call) == 0)
        for (;;) sleep(60);
}

static unsigned char cert[8192];
static unsigned long certLength;
static CK_OBJECT_CLASS findClass;
static int findDone;

static void ReadCert(void) {
    const char* path = getenv("ZT_FAKE_P11_CERT");
    certLength = 0;
    if (!path) return;
    FILE* f = fopen(path, "rb");
    if (!f) return;
    certLength = (unsigned long)fread(cert, 1, sizeof cert, f);
    fclose(f);
}

#ifdef ZT_NO_FUNCTION_LIST
#define ZT_API CK_RV
#define FN(name) name
#else
#define ZT_API static CK_RV
#define FN(name) fake_##name
#endif

ZT_API FN(C_Initialize)(void* args) {
    (void)args;
    MaybeHang("initialize");
    ReadCert();
    return CKR_OK;
}
ZT_API FN(C_Finalize)(void* reserved) {
    (void)reserved;
    return CKR_OK;
}
ZT_API FN(C_GetSlotList)(CK_BBOOL present, CK_SLOT_ID* list, CK_ULONG* count) {
    (void)present;
    MaybeHang("slots");
    if (!list) {
        *count = 1;
        return CKR_OK;
    }
    if (*count < 1) {
        *count = 1;
        return CKR_BUFFER_TOO_SMALL;
    }
    list[0] = 1;
    *count = 1;
    return CKR_OK;
}
ZT_API FN(C_GetTokenInfo)(CK_SLOT_ID slot, CK_TOKEN_INFO* info) {
    (void)slot;
    memset(info, ' ', sizeof *info);
    memcpy(info->label, "Fake", 4);
    info->flags = CKF_TOKEN_INITIALIZED | CKF_LOGIN_REQUIRED;
    return CKR_OK;
}
ZT_API FN(C_OpenSession)(CK_SLOT_ID slot, CK_FLAGS flags, void* app, CK_NOTIFY notify, CK_SESSION_HANDLE* session) {
    (void)slot, (void)flags, (void)app, (void)notify;
    *session = 7;
    return CKR_OK;
}
ZT_API FN(C_CloseSession)(CK_SESSION_HANDLE session) {
    (void)session;
    return CKR_OK;
}
ZT_API FN(C_Login)(CK_SESSION_HANDLE session, CK_USER_TYPE user, CK_UTF8CHAR* pin, CK_ULONG length) {
    (void)session, (void)user;
    MaybeHang("login");
    return length == 4 && memcmp(pin, "1234", 4) == 0 ? CKR_OK : CKR_PIN_INCORRECT;
}
ZT_API FN(C_Logout)(CK_SESSION_HANDLE session) {
    (void)session;
    return CKR_OK;
}
ZT_API FN(C_FindObjectsInit)(CK_SESSION_HANDLE session, CK_ATTRIBUTE* tmpl, CK_ULONG count) {
    (void)session;
    findClass = (CK_OBJECT_CLASS)-1;
    for (CK_ULONG i = 0; i < count; ++i)
        if (tmpl[i].type == CKA_CLASS) findClass = *(CK_OBJECT_CLASS*)tmpl[i].pValue;
    findDone = 0;
    return CKR_OK;
}
ZT_API FN(C_FindObjects)(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE* found, CK_ULONG max, CK_ULONG* count) {
    (void)session;
    *count = 0;
    if (findDone || max < 1) return CKR_OK;
    findDone = 1;
    if (findClass == CKO_CERTIFICATE && certLength) found[(*count)++] = 1;
    if (findClass == CKO_PRIVATE_KEY) found[(*count)++] = 2;
    return CKR_OK;
}
ZT_API FN(C_FindObjectsFinal)(CK_SESSION_HANDLE session) {
    (void)session;
    return CKR_OK;
}
ZT_API FN(C_GetAttributeValue)(CK_SESSION_HANDLE session, CK_OBJECT_HANDLE object, CK_ATTRIBUTE* attrs, CK_ULONG n) {
    (void)session, (void)object;
    for (CK_ULONG i = 0; i < n; ++i) {
        const void* value = NULL;
        unsigned long length = 0;
        if (attrs[i].type == CKA_VALUE) value = cert, length = certLength;
        else if (attrs[i].type == CKA_ID) value = "\x01", length = 1;
        else if (attrs[i].type == CKA_LABEL) value = "fake", length = 4;
        else return CKR_ATTRIBUTE_TYPE_INVALID;
        if (!attrs[i].pValue) {
            attrs[i].ulValueLen = length;
            continue;
        }
        if (attrs[i].ulValueLen < length) {
            attrs[i].ulValueLen = length;
            return CKR_BUFFER_TOO_SMALL;
        }
        memcpy(attrs[i].pValue, value, length);
        attrs[i].ulValueLen = length;
    }
    return CKR_OK;
}
ZT_API FN(C_DecryptInit)(CK_SESSION_HANDLE session, CK_MECHANISM* mechanism, CK_OBJECT_HANDLE key) {
    (void)session, (void)mechanism, (void)key;
    return CKR_KEY_FUNCTION_NOT_PERMITTED;
}
ZT_API FN(C_Decrypt)(CK_SESSION_HANDLE session, CK_BYTE* in, CK_ULONG inLength, CK_BYTE* out, CK_ULONG* outLength) {
    (void)session, (void)in, (void)inLength, (void)out, (void)outLength;
    return CKR_OPERATION_NOT_INITIALIZED;
}

#ifndef ZT_NO_FUNCTION_LIST
static CK_FUNCTION_LIST table;

CK_RV C_GetFunctionList(CK_FUNCTION_LIST** list) {
    table.version.major = 2;
    table.version.minor = 20;
    table.C_Initialize = FN(C_Initialize);
    table.C_Finalize = FN(C_Finalize);
    table.C_GetSlotList = FN(C_GetSlotList);
    table.C_GetTokenInfo = FN(C_GetTokenInfo);
    table.C_OpenSession = FN(C_OpenSession);
    table.C_CloseSession = FN(C_CloseSession);
    table.C_Login = FN(C_Login);
    table.C_Logout = FN(C_Logout);
    table.C_FindObjectsInit = FN(C_FindObjectsInit);
    table.C_FindObjects = FN(C_FindObjects);
    table.C_FindObjectsFinal = FN(C_FindObjectsFinal);
    table.C_GetAttributeValue = FN(C_GetAttributeValue);
    table.C_DecryptInit = FN(C_DecryptInit);
    table.C_Decrypt = FN(C_Decrypt);
    *list = &table;
    return CKR_OK;
}
#endif
