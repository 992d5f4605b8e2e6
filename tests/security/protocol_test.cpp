// Known answers for the message keys and the envelope operations. Expected
// values were computed independently with python3 hashlib and
// openssl enc -aes-256-cbc (zero IV, PKCS#7 padding).
#include "security/crypto.h"
#include "security/protocol.h"
#include "security/textforms.h"

#include <gtest/gtest.h>

using namespace zt;

namespace {

const std::string kUser = "m\xfcller";
const std::string kPassword = "Geheim&<1";
const std::string kCadd = "Wed Dec  9 01:33:48 2026";
const std::string kPlain = "<?xml version=\"1.0\" encoding=\"Latin1\" ?>\n<XML_ZETTRIX/>";

std::string Nonce(int start) {
    std::string b;
    for (int i = 0; i < 32; ++i) b.push_back(char(start + i));
    return UpperHex(b);
}
const std::string kCrand = Nonce(0);
const std::string kMrand = Nonce(32);

std::string MacData(const std::string& user) { return user + "1" + kCrand; }

struct Form {
    std::string cadd, psk, keyEnc, keyMac, cipher, mac;
};

const Form kForms[] = {
    {"", "624c5ab0c29930fedf9679bedbfc52d79e953e0bbb3ba6d81ddb17462fd5e53a",
     "96fbbe0fa368df2aa22cc1e95118cf599b083e891cfacf9b44676b4291225eec",
     "d2139cd851cc4a45e422496145da7cff82e34114138b3e60ba8d0106e1e67a9d",
     "XHuq4B+nHNZ9Uj4GAUW0Q/4WERIoYT8mayBpDe+mPB2kewbHpa5iGWHqZ6hgwenhOwrYDorhoXMTtKMBUJ2R3w==",
     "8Cn9ylwA89WVIIjjLzP/gA=="},
    {kCadd, "9a3ab3fe5da0529d05668935074b8f0b499ad47281819a902f271b0bc0ee3867",
     "9aff5a36d3c79b871fea413f26d1d0d588508e3e9377a1daf3d1c36fbcc6067f",
     "30f2d69c7ec5772f1c2e9219617c968871a19b82b0075185639b380a37d21ae5",
     "CnWwU7bXg3VNSEKccKErj5yJpCANSQ+RjA/4MrRDYNFUvjGok9TmG/+4819dBqDk+gBFor9zBhSi1NN1gydpsA==",
     "66k3Ys93lydiYegXPk7jAA=="},
};

} // namespace

TEST(Protocol, PskShortAndLongForm) {
    SecureBytes shortForm = ProtocolPsk("", kUser, kPassword);
    // The short form is the 64 lower-hex characters themselves.
    EXPECT_EQ(shortForm, kForms[0].psk);
    SecureBytes longForm = ProtocolPsk(kCadd, kUser, kPassword);
    EXPECT_EQ(longForm.size(), 32u);
    EXPECT_EQ(LowerHex(longForm), kForms[1].psk);
    EXPECT_NE(LowerHex(ProtocolPsk("Wed Dec  9 01:33:49 2026", kUser, kPassword)), kForms[1].psk);
}

TEST(Protocol, MessageKeysSealAndMac) {
    for (const auto& f : kForms) {
        SecureBytes psk = ProtocolPsk(f.cadd, kUser, kPassword);
        EXPECT_EQ(LowerHex(ProtocolKeyEnc(psk, kCrand)), f.keyEnc) << f.cadd;
        EXPECT_EQ(LowerHex(ProtocolKeyMac(psk, kMrand)), f.keyMac) << f.cadd;

        SealedPayload sealed = SealPayloadWith(kPlain, kUser, kPassword, f.cadd, kCrand);
        EXPECT_EQ(sealed.cipher, f.cipher);
        EXPECT_EQ(sealed.crand, kCrand);

        auto tag = EnvelopeMac(f.cipher, MacData(kUser), kUser, kPassword, f.cadd, std::string_view(kMrand));
        ASSERT_TRUE(tag);
        EXPECT_EQ(tag->mac, f.mac);
        EXPECT_EQ(tag->mrand, kMrand);

        auto plain = OpenPayload(f.cipher, kCrand, f.cadd, kUser, kPassword);
        ASSERT_TRUE(plain);
        EXPECT_EQ(*plain, kPlain);
    }
    // The two PSK forms give different keys for the same password.
    EXPECT_NE(kForms[0].keyEnc, kForms[1].keyEnc);
}

TEST(Protocol, MacFailsForAnotherUserOrChangedCipher) {
    const Form& f = kForms[1];
    auto asOther = EnvelopeMac(f.cipher, MacData("mueller"), kUser, kPassword, f.cadd, std::string_view(kMrand));
    ASSERT_TRUE(asOther);
    EXPECT_NE(asOther->mac, f.mac);
    std::string changed = f.cipher;
    changed[3] = changed[3] == 'A' ? 'B' : 'A';
    EXPECT_NE(EnvelopeMac(changed, MacData(kUser), kUser, kPassword, f.cadd, std::string_view(kMrand))->mac, f.mac);
    // A receiver that falls back to the short form (no CADD) does not reproduce the MAC.
    EXPECT_NE(EnvelopeMac(f.cipher, MacData(kUser), kUser, kPassword, "", std::string_view(kMrand))->mac, f.mac);
}

TEST(Protocol, FreshNoncesRoundTrip) {
    auto sealed = SealPayload(kPlain, kUser, kPassword, kCadd);
    ASSERT_TRUE(sealed);
    EXPECT_EQ(sealed->crand.size(), 64u);
    EXPECT_EQ(sealed->crand, UpperHex(*HexDecode(sealed->crand)));
    auto again = SealPayload(kPlain, kUser, kPassword, kCadd);
    EXPECT_NE(again->crand, sealed->crand);
    EXPECT_NE(again->cipher, sealed->cipher);

    auto tag = EnvelopeMac(sealed->cipher, MacData(kUser), kUser, kPassword, kCadd, std::nullopt);
    ASSERT_TRUE(tag);
    EXPECT_EQ(tag->mac.size(), 24u);
    EXPECT_EQ(tag->mrand.size(), 64u);
    // The receiver recomputes the same MAC from the MRAND it received.
    auto check = EnvelopeMac(sealed->cipher, MacData(kUser), kUser, kPassword, kCadd, std::string_view(tag->mrand));
    EXPECT_EQ(check->mac, tag->mac);

    auto plain = OpenPayload(sealed->cipher, sealed->crand, kCadd, kUser, kPassword);
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, kPlain);
    EXPECT_EQ(OpenPayload(Base64Encode(*AesCbcEncrypt(std::string(32, 'k'), std::string(16, '\0'), "",
                                                      CbcPadding::Pkcs7)),
                          kCrand, "", kUser, kPassword)
                  .has_value(),
              false); // wrong key: the padding does not come out
}

TEST(Protocol, OpenPayloadRejectsMalformedCipher) {
    for (const char* bad : {"", "not base64!", "QUJD", "QUJDREVGR0hJSktMTU5PUFFS"}) // empty, invalid, 3 and 18 bytes
        EXPECT_FALSE(OpenPayload(bad, kCrand, kCadd, kUser, kPassword)) << bad;
    // An empty request text seals to one padding block and opens to empty.
    SealedPayload empty = SealPayloadWith("", kUser, kPassword, kCadd, kCrand);
    auto opened = OpenPayload(empty.cipher, kCrand, kCadd, kUser, kPassword);
    ASSERT_TRUE(opened);
    EXPECT_TRUE(opened->empty());
}

TEST(Protocol, Hauth) {
    EXPECT_EQ(Hauth(kUser, kPassword), "db6e429d4bb0d2f5a6af4b2da395a668458c7828e93468121bb13170d79ca176");
    EXPECT_EQ(Hauth("", ""), "6ea8e80e509786acff943d65771742b743c36040c0164231b80754674df0a19a");
}

namespace {
bool FailingSource(void*, size_t) { return false; }
} // namespace

TEST(Protocol, FailingGeneratorFailsTheOperation) {
    SetRandomSource(&FailingSource);
    EXPECT_FALSE(SealPayload(kPlain, kUser, kPassword, kCadd));
    EXPECT_FALSE(EnvelopeMac("x", MacData(kUser), kUser, kPassword, kCadd, std::nullopt));
    // A receiver needs no random bytes.
    EXPECT_TRUE(EnvelopeMac("x", MacData(kUser), kUser, kPassword, kCadd, std::string_view(kMrand)));
    SetRandomSource(nullptr);
}
