// Known answers for the primitives. Expected values were computed
// independently with python3 hashlib/hmac and the openssl command line
// (openssl enc -aes-256-cbc, openssl enc -id-aes128-wrap / -id-aes256-wrap).
#include "security/crypto.h"
#include "security/textforms.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zt;

namespace {

std::string Bin(std::string_view hex) {
    auto b = HexDecode(hex);
    EXPECT_TRUE(b) << hex;
    return b ? *b : std::string();
}

std::string Hex(std::string_view bytes) { return LowerHex(bytes); }

std::string Repeat(std::string_view s, size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out += s;
    return out;
}

std::string Ramp(size_t n, int start = 0) {
    std::string out;
    for (size_t i = 0; i < n; ++i) out.push_back(char(start + i));
    return out;
}

} // namespace

TEST(Hash, KnownAnswers) {
    struct Case {
        std::string data, sha1, sha256;
    } cases[] = {
        {"", "da39a3ee5e6b4b0d3255bfef95601890afd80709",
         "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "a9993e364706816aba3e25717850c26c9cd0d89d",
         "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq", "84983e441c3bd26ebaae4aa1f95129e5e54670f1",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {Repeat(Ramp(256), 5), "e37a04cb2353309f5cff4ee036cfb91a5e31cefd",
         "d414b085826eb06778483ba35564dc849e643359f69ed9747878ba6e54985bed"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(Sha1(c.data)), c.sha1) << c.data.size();
        EXPECT_EQ(Hex(Sha256(c.data)), c.sha256) << c.data.size();
    }
}

TEST(Hash, PiecewiseEqualsWholeAndResets) {
    std::string data = Repeat(Ramp(256), 5);
    Sha256Hasher h;
    h.Update("garbage");
    h.Reset();
    for (size_t at = 0; at < data.size(); at += 77) h.Update(std::string_view(data).substr(at, 77));
    Sha256Hasher copy = h;
    EXPECT_EQ(h.Final(), Sha256(data));
    EXPECT_EQ(copy.Final(), Sha256(data));
    EXPECT_EQ(h.Final(), Sha256("")); // Final starts over

    Sha1Hasher s1;
    s1.Update("garbage");
    s1.Reset();
    for (size_t at = 0; at < data.size(); at += 77) s1.Update(std::string_view(data).substr(at, 77));
    uint8_t digest[kSha1Size];
    s1.Final(digest);
    EXPECT_EQ(std::string_view(reinterpret_cast<char*>(digest), kSha1Size), Sha1(data));
    s1.Final(digest);
    EXPECT_EQ(std::string_view(reinterpret_cast<char*>(digest), kSha1Size), Sha1(""));
}

TEST(Hmac, KnownAnswers) {
    struct Case {
        std::string key, data, sha1, sha256;
    } cases[] = {
        // RFC 2202 / RFC 4231 case 1 and 2
        {std::string(20, '\x0b'), "Hi There", "b617318655057264e28bc0b6fb378c8ef146be00",
         "b0344c61d8db38535ca8afceaf0bf12b881dc200c9833da726e9376c2e32cff7"},
        {"Jefe", "what do ya want for nothing?", "effcdf6ae5eb2fa2d27416d5f184df9c259a7c79",
         "5bdcc146bf60754e6a042426089575c75a003f089d2739839dec58b964ec3843"},
        // a key longer than the block is hashed first; a key of exactly 64 bytes is not
        {std::string(131, '\xaa'), "Test Using Larger Than Block-Size Key - Hash Key First",
         "90d0dace1c1bdc957339307803160335bde6df2b",
         "60e431591ee0b67f0d8a26aacbf5b77f8e0bc6213728c5140546040f0ee37f54"},
        {std::string(64, '\xaa'), std::string(100, 'x'), "48578a5121689fc1c73e28d757eef9ac583e3a4d",
         "2dcb15c0c6f608235e51ec30b8384822e008f8fe1a2d1783eba3aad8305856db"},
        {"", "", "fbdb1d1b18aa6c08324b7d64b71fb76370690e1d",
         "b613679a0814d9ec772f95d778c35fc5ff1697c493715653c6c712144292c5ad"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(HmacSha1(c.key, c.data)), c.sha1) << c.key.size();
        EXPECT_EQ(Hex(HmacSha256(c.key, c.data)), c.sha256) << c.key.size();
        HmacSha256Hasher h(c.key);
        h.Update(std::string_view(c.data).substr(0, c.data.size() / 2));
        h.Update(std::string_view(c.data).substr(c.data.size() / 2));
        EXPECT_EQ(Hex(h.Final()), c.sha256);
        h.Update(c.data); // the hasher starts over with the same key
        EXPECT_EQ(Hex(h.Final()), c.sha256);
    }
}

TEST(Pbkdf2, KnownAnswersBothPrfs) {
    struct Case {
        std::string password, salt;
        uint32_t iterations;
        size_t length;
        std::string sha1, sha256;
    } cases[] = {
        // RFC 6070 (SHA-1), RFC 7914 section 11 (SHA-256)
        {"password", "salt", 1, 20, "0c60c80f961f0e71f3a9b524af6012062fe037a6",
         "120fb6cffcf8b32c43e7225256c4f837a86548c9"},
        {"password", "salt", 2, 20, "ea6c014dc72d6f8ccd1ed92ace1d41f0d8de8957",
         "ae4d0c95af6b46d32d0adff928f06dd02a303f8e"},
        {"password", "salt", 4096, 20, "4b007901b765489abead49d926f721d065a429c1",
         "c5e478d59288c841aa530db6845c4c8d962893a0"},
        {"passwordPASSWORDpassword", "saltSALTsaltSALTsaltSALTsaltSALTsalt", 4096, 25,
         "3d2eec4fe41c849b80c8d83662c0e44a8b291a964cf2f07038", "348c89dbcbd32b2f32d814b8116e84cf2b17347ebc1800181c"},
        {std::string("pass\0word", 9), std::string("sa\0lt", 5), 4096, 16, "56fa6aa75548099dcc37d7f03425e0c3",
         "89b69d0516f829893c696226650a8687"},
        {"passwd", "salt", 1, 64,
         "69f429426698f069a2e17caa3343645db305765c08cee0b868ed42a26e6e408adc2110e14f14bb362279c623ef8cf0cd165abc061a"
         "87d8864492b202cd2d859d",
         "55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc49ca9cccf179b645991664b39d77ef317c71b845b1"
         "e30bd509112041d3a19783"},
        {"Password", "NaCl", 80000, 64,
         "14faf3c943860f0f543d94c449ae7fe1223afa88276c7d67505d71f00b1f17b8407c247da33c640bfa9c633e38405a19e9abf2dea7"
         "ba9f00e7dcb41957365d8a",
         "4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56a1d425a1225833549adb841b51c9b3176a272bdebb"
         "a1d078478f62b397f33c8d"},
        // a password longer than the HMAC block, an empty password, an empty salt
        {std::string(65, 'p'), "salt", 1000, 40,
         "fe95c66f0526471d6c3d628ef361f0bffa74adc4dc20234be60a03bc67a878be2e7e98245b2d1345",
         "43717819bb71ac51ca4e451a272eeab74f730b2b3798ddbeb6568a2167f6eca80c69aa4c15c14768"},
        {"", "salt", 3, 32, "0cebfb1825d38ce91db4a69a0b9e776b2a2323eb4fcbcfdce402926cfc260d48",
         "5ddf839afa2d5fb4be56e1a0f48917617559bef61ec122bfca1c7f75ac8f401d"},
        {std::string(64, 'x'), "", 2, 50,
         "fa2f0dfa5dbece3fcd4ecd26a782659eb7d2a660426457996e160d886fd06b9cb329dc18371340cf8002a9151eb931485f92",
         "ba535c31bdc5b38965436bd250e858323c5112d033c08433f9da94b6da64bcab9dc37ac1d734e5c7a5805832866291e7bae9"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Hex(Pbkdf2HmacSha1(c.password, c.salt, c.iterations, c.length)), c.sha1) << c.iterations;
        EXPECT_EQ(Hex(Pbkdf2HmacSha256(c.password, c.salt, c.iterations, c.length)), c.sha256) << c.iterations;
    }
    EXPECT_EQ(Pbkdf2HmacSha256("password", "salt", 0, 20), Pbkdf2HmacSha256("password", "salt", 1, 20));
}

TEST(AesCbc, KnownAnswersBothPaddings) {
    const std::string key = Ramp(32), iv = Ramp(16, 0xf0);
    struct Case {
        std::string plain, pkcs7, zero;
    } cases[] = {
        {"", "edaf9e57d045ac857f023f9dc238b14e", ""},
        {"hello", "de2be6aa8e9a26956a342f4f834792ab", "b517e995f1866cac769edd0f0111fdbb"},
        // a whole block gains a full padding block under PKCS#7 and nothing under zero padding
        {"0123456789abcdef", "cd951146cc74046a56c93a30e4a7cd50e5644b147420cb090229d6c7b90ed616",
         "cd951146cc74046a56c93a30e4a7cd50"},
        {"The quick brown fox jumps over th",
         "84f474f35a3090a82aae847eff728ab2c6d8dc5cfb3695e68937cb12ec50264ebbcbc21d69ea2f2d4d9772b3f60ab7ee",
         "84f474f35a3090a82aae847eff728ab2c6d8dc5cfb3695e68937cb12ec50264e456bb07e94b57a5ac93371083ea7f79d"},
    };
    for (const auto& c : cases) {
        auto p = AesCbcEncrypt(key, iv, c.plain, CbcPadding::Pkcs7);
        auto z = AesCbcEncrypt(key, iv, c.plain, CbcPadding::Zero);
        ASSERT_TRUE(p && z);
        EXPECT_EQ(Hex(*p), c.pkcs7) << c.plain;
        EXPECT_EQ(Hex(*z), c.zero) << c.plain;
        EXPECT_EQ(p->size(), (c.plain.size() / 16 + 1) * 16);
        EXPECT_EQ(z->size(), (c.plain.size() + 15) / 16 * 16);

        auto back = AesCbcDecrypt(key, iv, *p);
        ASSERT_TRUE(back);
        EXPECT_TRUE(RemovePkcs7Padding(*back));
        EXPECT_EQ(*back, c.plain);
        auto zback = AesCbcDecrypt(key, iv, *z);
        ASSERT_TRUE(zback);
        std::string padded = c.plain + std::string(z->size() - c.plain.size(), '\0');
        EXPECT_EQ(*zback, padded);
    }
    // No padding: whole blocks only.
    EXPECT_EQ(AesCbcEncrypt(key, iv, "0123456789abcdef", CbcPadding::None),
              AesCbcEncrypt(key, iv, "0123456789abcdef", CbcPadding::Zero));
    EXPECT_FALSE(AesCbcEncrypt(key, iv, "hello", CbcPadding::None));
}

TEST(AesCbc, RejectsWrongSizes) {
    const std::string key = Ramp(32), iv = Ramp(16);
    EXPECT_FALSE(AesCbcEncrypt(Ramp(16), iv, "x", CbcPadding::Pkcs7)); // AES-256 only
    EXPECT_FALSE(AesCbcEncrypt(key, Ramp(15), "x", CbcPadding::Pkcs7));
    EXPECT_FALSE(AesCbcDecrypt(key, iv, Ramp(17)));
    EXPECT_FALSE(AesCbcDecrypt(key, Ramp(8), Ramp(16)));
    auto empty = AesCbcDecrypt(key, iv, "");
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->empty());
}

TEST(AesCbc, Pkcs7Removal) {
    struct Case {
        std::string data;
        bool ok;
        size_t length;
    } cases[] = {
        {"abc" + std::string(13, '\x0d'), true, 3},
        {std::string(16, '\x10'), true, 0},
        {"abcdefghijklmno\x01", true, 15},
        {"abcdefghijklmno" + std::string(1, '\0'), false, 0}, // n = 0
        {"abcdefghijklmno\x11", false, 0},                    // n > 16
        {std::string(17, '\x11'), false, 0},                  // n > 16 even when the bytes agree
        {"\x03\x03", false, 0},                               // n > length
        {"abcdefghijkl\x04\x05\x04\x04", false, 0},           // a padding byte differs
        {"", false, 0},
    };
    for (const auto& c : cases) {
        SecureBytes b(c.data);
        EXPECT_EQ(RemovePkcs7Padding(b), c.ok) << Hex(c.data);
        EXPECT_EQ(b.size(), c.length) << Hex(c.data);
        EXPECT_EQ(b.view(), std::string_view(c.data).substr(0, c.length));
    }
}

TEST(KeyWrap, Rfc3394Vectors) {
    struct Case {
        std::string kek, data, wrapped;
    } cases[] = {
        // RFC 3394 4.1, 4.3 and 4.6; also 4.2 style 128-bit KEK with 256-bit data
        {"000102030405060708090A0B0C0D0E0F", "00112233445566778899AABBCCDDEEFF",
         "1fa68b0a8112b447aef34bd8fb5a7b829d3e862371d2cfe5"},
        {"000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F", "00112233445566778899AABBCCDDEEFF",
         "64e8c3f9ce0f5ba263e9777905818a2a93c8191e7d6e8ae7"},
        {"000102030405060708090A0B0C0D0E0F101112131415161718191A1B1C1D1E1F",
         "00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F",
         "28c9f404c4b810f4cbccb35cfb87f8263f5786e2d80ed326cbc7f0e71a99f43bfb988b9b7a02dd21"},
        {"000102030405060708090A0B0C0D0E0F", "00112233445566778899AABBCCDDEEFF000102030405060708090A0B0C0D0E0F",
         "11826840774d993ff9c2fa02cca3cea0e93b1e1cf96361f93ea6dc2f345194e7b30f964c79f9e61d"},
    };
    for (const auto& c : cases) {
        auto w = AesKeyWrap(Bin(c.kek), Bin(c.data));
        ASSERT_TRUE(w);
        EXPECT_EQ(Hex(*w), c.wrapped);
        auto u = AesKeyUnwrap(Bin(c.kek), Bin(c.wrapped));
        ASSERT_TRUE(u);
        EXPECT_EQ(*u, Bin(c.data));
        // Any changed bit, or another KEK, loses the initial value.
        for (size_t at : {size_t(0), size_t(9), Bin(c.wrapped).size() - 1}) {
            std::string bad = Bin(c.wrapped);
            bad[at] ^= 0x01;
            EXPECT_FALSE(AesKeyUnwrap(Bin(c.kek), bad)) << at;
        }
        std::string otherKek = Bin(c.kek);
        otherKek[0] ^= 0x80;
        EXPECT_FALSE(AesKeyUnwrap(otherKek, Bin(c.wrapped)));
    }
}

TEST(KeyWrap, RejectsSizesOutOfRange) {
    EXPECT_FALSE(AesKeyWrap(Ramp(20), Ramp(32)));     // KEK size
    EXPECT_FALSE(AesKeyWrap(Ramp(32), Ramp(8)));      // fewer than two blocks of 8
    EXPECT_FALSE(AesKeyWrap(Ramp(32), Ramp(33)));     // not a multiple of 8
    EXPECT_FALSE(AesKeyUnwrap(Ramp(32), Ramp(16)));   // wraps only 8 bytes
    EXPECT_FALSE(AesKeyUnwrap(Ramp(32), Ramp(41)));
    EXPECT_FALSE(AesKeyUnwrap(Ramp(32), ""));
    auto w = AesKeyWrap(Ramp(32), Ramp(32));
    ASSERT_TRUE(w);
    EXPECT_EQ(w->size(), 40u);
}

TEST(TextForms, HexAndBase64) {
    EXPECT_EQ(LowerHex(std::string("\x00\x9f\xff", 3)), "009fff");
    EXPECT_EQ(UpperHex(std::string("\x00\x9f\xff", 3)), "009FFF");
    EXPECT_EQ(SecureHex(std::string("\xab\x01", 2), true), "AB01");
    EXPECT_EQ(HexDecode("00aBfF"), std::string("\x00\xab\xff", 3));
    EXPECT_FALSE(HexDecode("abc"));
    EXPECT_FALSE(HexDecode("zz"));

    // RFC 4648 section 10
    const char* vectors[][2] = {{"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},
                                {"foo", "Zm9v"},  {"foob", "Zm9vYg=="},  {"fooba", "Zm9vYmE="},
                                {"foobar", "Zm9vYmFy"}};
    for (auto& v : vectors) {
        EXPECT_EQ(Base64Encode(v[0]), v[1]);
        EXPECT_EQ(Base64Decode(v[1]), std::string(v[0]));
    }
    std::string all = Ramp(256);
    EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
    EXPECT_EQ(Base64Encode("\xfb\xff"), "+/8=");
    EXPECT_EQ(Base64Decode("Zm9v\r\nYmFy "), std::string("foobar"));
    for (const char* bad : {"Zm9", "Zm9vY", "Z===", "Zm=v", "Zm9v=", "Zg==Zg==", "Zm9-", "Zm\x80v"})
        EXPECT_FALSE(Base64Decode(bad)) << bad;
}

TEST(SecureBytes, WipesAndKeepsContent) {
    unsigned char buf[33];
    std::memset(buf, 0x77, sizeof buf);
    WipeBytes(buf, sizeof buf);
    for (unsigned char c : buf) EXPECT_EQ(c, 0);

    SecureBytes s(std::string_view("secret"));
    s.append(s.view()); // appending from itself survives the buffer moving
    EXPECT_EQ(s, "secretsecret");
    s.resize(3);
    EXPECT_EQ(s, "sec");
    s.resize(5);
    EXPECT_EQ(s.view(), std::string_view("sec\0\0", 5));
    s.clear();
    EXPECT_TRUE(s.empty());

    std::string t = "a longer string that certainly lives on the heap";
    WipeString(t);
    EXPECT_TRUE(t.empty());
    EXPECT_TRUE(ConstantTimeEqual("abc", "abc"));
    EXPECT_FALSE(ConstantTimeEqual("abc", "abd"));
    EXPECT_FALSE(ConstantTimeEqual("abc", "ab"));
}

namespace {
bool FailingSource(void*, size_t) { return false; }
bool CountingSource(void* out, size_t n) {
    auto p = static_cast<unsigned char*>(out);
    for (size_t i = 0; i < n; ++i) p[i] = static_cast<unsigned char>(i);
    return true;
}
} // namespace

TEST(Random, UsesTheInstalledSourceAndFailsWithoutOne) {
    auto a = DrawRandom(32), b = DrawRandom(32);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->size(), 32u);
    EXPECT_NE(*a, *b);

    SetRandomSource(&CountingSource);
    EXPECT_EQ(DrawRandom(4), std::string_view("\x00\x01\x02\x03", 4));
    SetRandomSource(&FailingSource);
    EXPECT_FALSE(DrawRandom(4));
    unsigned char x[4];
    EXPECT_FALSE(DrawRandom(x, sizeof x));
    SetRandomSource(nullptr);
    EXPECT_TRUE(DrawRandom(4));
}
