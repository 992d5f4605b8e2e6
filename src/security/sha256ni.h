// PBKDF2-HMAC-SHA256 iterations on the x86 SHA extensions, the state kept in
// registers from one compression to the next. Internal to the security library.
#pragma once

#include <cstdint>

namespace zt::detail {

// Whether this processor has the SHA extensions (and the code was built for x86-64).
bool HaveSha256Ni();

// Runs `rounds` further PBKDF2 iterations: `u` holds U_1 as native words and
// becomes U_{rounds+1}; every U is XORed into `acc`. `inner` and `outer` are
// the HMAC states after the key block, as native words in the order A..H.
void Pbkdf2Sha256NiRounds(const uint32_t inner[8], const uint32_t outer[8], uint32_t u[8], uint32_t acc[8],
                          uint32_t rounds);

} // namespace zt::detail
