// The key ring and the content streams: key areas built independently
// (keyring_fixtures.py) must open, and what the ring writes must read back.
#include "security/cipherstream.h"
#include "security/crypto.h"
#include "security/keyobject.h"
#include "security/keyring.h"
#include "security/textforms.h"

#include "base/bytes.h"
#include "base/messages.h"
#include "keyring_fixtures.h"
#include "support/scripted_prompter.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace zt;

namespace {

std::string Bin(std::string_view hex) { return *HexDecode(hex); }

CZtCredentials Np(std::string name, std::string password) { return {std::move(name), std::move(password), nullptr}; }

// A certificate stand-in: "encryption" is XOR with 0x5A.
class FakeKeyObject : public CZtKeyObject {
public:
    explicit FakeKeyObject(std::string publicKey = "fake public key", std::string algorithm = "1.2.840.113549.1.1.1")
        : publicKey_(std::move(publicKey)), algorithm_(std::move(algorithm)) {}
    std::string PublicKeyAlgorithm() const override { return algorithm_; }
    std::string PublicKeyBytes() const override { return publicKey_; }
    std::optional<std::string> EncryptToPublicKey(std::string_view data, std::string_view oid) override {
        if (oid != kOidRsaEncryption) return std::nullopt;
        std::string out(data);
        for (auto& c : out) c ^= 0x5A;
        return out;
    }
    std::optional<SecureBytes> DecryptWithPrivateKey(std::string_view data, std::string_view oid) override {
        lastOid = std::string(oid);
        auto out = EncryptToPublicKey(data, kOidRsaEncryption);
        return SecureBytes(*out);
    }
    std::string lastOid;

private:
    std::string publicKey_, algorithm_;
};

CZtCredentials Cert(CZtKeyObject& key) { return {"", "", &key}; }

RawWriter AppendTo(std::string& out) {
    return [&out](const void* p, size_t n) {
        out.append(static_cast<const char*>(p), n);
        return true;
    };
}

RawReader ReadFrom(const std::string& in, size_t& pos) {
    return [&in, &pos](void* p, size_t n) {
        if (in.size() - pos < n) return false;
        std::memcpy(p, in.data() + pos, n);
        pos += n;
        return true;
    };
}

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i) s[i] = char((i * 131 + i / 7) & 0xFF);
    return s;
}

std::string ZeroPadded(std::string s) {
    s.resize((s.size() + 15) / 16 * 16, '\0');
    return s;
}

const std::string kMsgKeyMacBad = MessageText(Msg::KeyMacBad);
const std::string kMsgDataMacBad = MessageText(Msg::DataMacBad);

} // namespace

// ---- Opening independently built key areas ------------------------------------

TEST(KeyRing, UnlocksEachKindOfBlock) {
    FakeKeyObject key;
    struct Case {
        CZtCredentials credentials;
        bool ok;
        size_t block;
        bool keyMacBad;
    } cases[] = {
        {Np("Alice", "pw-alice"), true, 0, false},                 // SHA-256 block, regular tag
        {Np("Bob with a rather long name", "pw-bob"), true, 1, false}, // SHA-1 block, older fallback tag
        {Cert(key), true, 2, false},                               // certificate block
        {Np("Alice", "wrong"), false, 0, true},                    // known name, wrong password
        {Np("Bob with a rather long name", "wrong"), false, 0, true}, // the current block stays
        {Np("Mallory", "pw-alice"), false, 0, false},              // unknown name: silent
        // The whole name enters the tag derivation, not only the 16 bytes it encrypts.
        {Np("Bob with a rathe", "pw-bob"), false, 0, false},
        {Np("Alice", ""), false, 0, false},
        {Np("", "pw-alice"), false, 0, false},
    };
    for (const auto& c : cases) {
        test::ScriptedPrompter prompter;
        CZtKeyRing ring(&prompter);
        ASSERT_EQ(ring.LoadKeyArea(Bin(fixtures::kArea)), 0);
        EXPECT_EQ(ring.State(), CZtKeyRing::kLocked);
        EXPECT_EQ(ring.BlockCount(), 3u);
        EXPECT_TRUE(ring.SeveralBlocks());
        EXPECT_EQ(ring.Unlock(c.credentials), c.ok) << c.credentials.name;
        EXPECT_EQ(ring.State(), c.ok ? CZtKeyRing::kUnlocked : CZtKeyRing::kLocked);
        EXPECT_EQ(ring.CurrentBlock(), c.block) << c.credentials.name;
        EXPECT_EQ(LowerHex(ring.DocumentKey()), c.ok ? fixtures::kDocKey : "");
        EXPECT_EQ(prompter.messages, c.keyMacBad ? std::vector<std::string>{kMsgKeyMacBad}
                                                 : std::vector<std::string>{})
            << c.credentials.name;
    }
    EXPECT_EQ(key.lastOid, kOidRsaEncryption);
}

TEST(KeyRing, VerifyTestsTheCurrentBlockOnly) {
    FakeKeyObject key;
    CZtKeyRing ring;
    ASSERT_EQ(ring.LoadKeyArea(Bin(fixtures::kArea)), 0);
    EXPECT_FALSE(ring.Verify(Np("Alice", "pw-alice"))); // locked
    ASSERT_TRUE(ring.Unlock(Np("Bob with a rather long name", "pw-bob")));
    EXPECT_TRUE(ring.Verify(Np("Bob with a rather long name", "pw-bob")));
    EXPECT_FALSE(ring.Verify(Np("Alice", "pw-alice"))); // opens another block
    EXPECT_FALSE(ring.Verify(Np("Bob with a rather long name", "nope")));
    EXPECT_FALSE(ring.Verify(Cert(key)));
    EXPECT_EQ(ring.CurrentBlock(), 1u);
    EXPECT_FALSE(ring.Unlock(Np("Alice", "pw-alice"))); // already unlocked
}

TEST(KeyRing, DirectBlockOfOlderDocuments) {
    const auto carol = Np("Carol", "pw-carol"), dave = Np("Dave", "pw-dave");
    // Every size of an older single block opens with the direct derivation.
    for (size_t size : {size_t(64), size_t(88), size_t(128), size_t(152)}) {
        std::string area = Bin(fixtures::kDirect);
        area.resize(size, '\0');
        test::ScriptedPrompter prompter;
        CZtKeyRing ring(&prompter);
        ASSERT_EQ(ring.LoadKeyArea(area), 0) << size;
        EXPECT_FALSE(ring.SeveralBlocks());
        EXPECT_FALSE(ring.Extensible());
        EXPECT_FALSE(ring.Unlock(Np("Carol", "wrong")));
        EXPECT_FALSE(ring.Unlock(Np("Caro", "pw-carol")));
        EXPECT_TRUE(prompter.messages.empty()) << size; // a direct block has no unwrap to fail
        ASSERT_TRUE(ring.Unlock(carol)) << size;
        EXPECT_TRUE(ring.CurrentBlockDirect());
        EXPECT_EQ(LowerHex(ring.DocumentKey()), fixtures::kDirectKey);
    }

    // The next save extends the block to full size; it keeps opening the same way.
    CZtKeyRing ring;
    ASSERT_EQ(ring.LoadKeyArea(Bin(fixtures::kDirect)), 0);
    ASSERT_TRUE(ring.Unlock(carol));
    ASSERT_TRUE(ring.PrepareSave());
    std::string area = ring.KeyArea();
    ASSERT_EQ(area.size(), CZtKeyRing::kBlockSize);
    EXPECT_EQ(GetLE32(area.data()), 2u);
    EXPECT_NE(area.substr(32, 16), Bin(fixtures::kDirect).substr(32, 16)); // new IV
    CZtKeyRing again;
    ASSERT_EQ(again.LoadKeyArea(area), 0);
    ASSERT_TRUE(again.Unlock(carol));
    EXPECT_EQ(LowerHex(again.DocumentKey()), fixtures::kDirectKey);
    EXPECT_FALSE(again.Extensible());
}

TEST(KeyRing, AddingANameToADirectBlockRebuildsIt) {
    const auto carol = Np("Carol", "pw-carol"), dave = Np("Dave", "pw-dave");
    for (size_t size : {size_t(64), size_t(152)}) {
        std::string loaded = Bin(fixtures::kDirect);
        loaded.resize(size, '\0');
        CZtKeyRing ring;
        ASSERT_EQ(ring.LoadKeyArea(loaded), 0);
        ASSERT_TRUE(ring.Unlock(carol));
        EXPECT_FALSE(ring.AddCredentials(Np("Carol", "wrong"), dave)); // proven credentials only
        EXPECT_FALSE(ring.AddCredentials(carol, Np("Carol", "other"))); // the name has its block
        EXPECT_EQ(ring.BlockCount(), 1u);
        EXPECT_TRUE(ring.CurrentBlockDirect());
        ASSERT_TRUE(ring.AddCredentials(carol, dave)) << size;
        ASSERT_EQ(ring.BlockCount(), 2u);
        EXPECT_TRUE(ring.SeveralBlocks());
        EXPECT_FALSE(ring.CurrentBlockDirect());
        EXPECT_EQ(GetLE32(ring.Block(0).data() + 4), CZtKeyRing::kTypeWrappedSha256);
        EXPECT_TRUE(ring.Verify(carol));
        ASSERT_TRUE(ring.PrepareSave());
        const std::string area = ring.KeyArea();
        ASSERT_EQ(area.size(), 2 * CZtKeyRing::kBlockSize);
        // Both names open the saved area with the old document key.
        struct Open {
            CZtCredentials who;
            size_t block;
        } opens[] = {{carol, 0}, {dave, 1}};
        for (const auto& o : opens) {
            CZtKeyRing r;
            ASSERT_EQ(r.LoadKeyArea(area), 0);
            ASSERT_TRUE(r.Unlock(o.who)) << o.who.name;
            EXPECT_EQ(r.CurrentBlock(), o.block);
            EXPECT_EQ(LowerHex(r.DocumentKey()), fixtures::kDirectKey);
        }
    }
}

TEST(KeyRing, ContentModeOneOnlyForOlderBlockKinds) {
    auto withMode1 = [](std::string area, size_t block) {
        SetLE32(area.data() + block * CZtKeyRing::kBlockSize, 1);
        return area;
    };
    CZtKeyRing made;
    ASSERT_TRUE(made.CreateEncryption(Np("Eve", "pw-eve")));
    struct Case {
        const char* what;
        std::string area;
        CZtCredentials who;
        bool readable;
    } cases[] = {
        {"direct block", Bin(fixtures::kDirect), Np("Carol", "pw-carol"), true},
        {"SHA-1 block", withMode1(Bin(fixtures::kArea), 1), Np("Bob with a rather long name", "pw-bob"), true},
        {"SHA-256 block", withMode1(Bin(fixtures::kArea), 0), Np("Alice", "pw-alice"), false},
        {"new block", withMode1(made.KeyArea(), 0), Np("Eve", "pw-eve"), false},
    };
    const std::string stored(512, 'x');
    for (const auto& c : cases) {
        CZtKeyRing ring;
        ASSERT_EQ(ring.LoadKeyArea(c.area), 0) << c.what;
        ASSERT_TRUE(ring.Unlock(c.who)) << c.what;
        size_t pos = 0;
        EXPECT_EQ(ring.BeginRead(stored.size(), ReadFrom(stored, pos)), c.readable) << c.what;
        if (c.readable) ring.EndRead();
        EXPECT_EQ(ring.ReadItem("ZT07", stored).has_value(), c.readable) << c.what;
    }
}

TEST(KeyRing, LoadKeyAreaRejectsBadAreas) {
    const std::string area = Bin(fixtures::kArea);
    const std::string first = area.substr(0, 152);
    auto with = [](std::string b, size_t off, uint32_t v) {
        SetLE32(b.data() + off, v);
        return b;
    };
    std::string direct152 = Bin(fixtures::kDirect);
    direct152.resize(152, '\0');
    struct Case {
        const char* what;
        std::string area;
        int result;
    } cases[] = {
        {"empty", "", -1},
        {"odd size", std::string(100, '\0'), -1},
        {"several blocks, the first direct", direct152 + first, -1},
        {"trailing bytes", first + first + "x", -1},
        {"content mode 3", with(first, 0, 3), -2},
        {"unknown type", with(first, 4, 0x10040001), -2},
        {"wrapped key length 32", with(first, 28, 32), -2},
        {"direct key length 40", with(direct152, 28, 40), -1},
        {"1000 iterations", with(first, 24, 1000), -1},
        {"1e9 iterations", with(first, 24, 1000000000), -1},
        {"short wrapped block", with(first, 0, 2).substr(0, 128), -1},
        {"certificate block without extension", area.substr(304, 152), -1},
        {"certificate extension beyond the area", with(area, 304 + 116, 1000), -1},
        {"a name search beyond the work of one block", with(first, 24, 999999999) + with(first, 24, 8000), -1},
        {"too many blocks", [&] {
             std::string s;
             for (size_t i = 0; i <= CZtKeyRing::kMaxBlocks; ++i) s += first;
             return s;
         }(),
         -1},
    };
    for (const auto& c : cases) {
        CZtKeyRing ring;
        EXPECT_EQ(ring.LoadKeyArea(c.area), c.result) << c.what;
        EXPECT_EQ(ring.State(), CZtKeyRing::kUnencrypted) << c.what;
        EXPECT_EQ(ring.BlockCount(), 0u) << c.what;
    }
    // Valid short forms and limits.
    CZtKeyRing ring;
    EXPECT_EQ(ring.LoadKeyArea(with(Bin(fixtures::kDirect), 24, 1001)), 0);
    EXPECT_EQ(ring.LoadKeyArea(direct152.substr(0, 88)), 0);
    EXPECT_EQ(ring.LoadKeyArea(with(first, 24, 999999999)), 0);
    EXPECT_EQ(ring.LoadKeyArea(with(first, 24, 999990000) + with(first, 24, 8000)), 0);
    EXPECT_EQ(ring.LoadKeyArea(first), 0);
    EXPECT_FALSE(ring.SeveralBlocks());
    EXPECT_TRUE(ring.Extensible());
}

// ---- Content streams ------------------------------------------------------------

TEST(CipherStream, ReadsOlderChunkedModeWithIvWrap) {
    std::string cipher = Bin(fixtures::kMode1Cipher);
    size_t pos = 0;
    CZtCipherStream s;
    ASSERT_TRUE(s.BeginRead(Bin(fixtures::kDirectKey), Bin(fixtures::kMode1Iv), 1, cipher.size(), {},
                            ReadFrom(cipher, pos)));
    EXPECT_EQ(s.PayloadLength(), 1104u);
    std::string plain(1104, '\0');
    // Odd read sizes across the 512-byte chunks.
    size_t got = 0;
    while (got < plain.size()) {
        size_t n = s.Read(plain.data() + got, std::min<size_t>(300, plain.size() - got));
        ASSERT_GT(n, 0u);
        got += n;
    }
    EXPECT_EQ(s.Read(plain.data(), 1), 0u);
    EXPECT_EQ(s.EndRead(), CZtCipherStream::End::Ok);
    for (size_t i = 0; i < plain.size(); ++i) ASSERT_EQ(uint8_t(plain[i]), uint8_t((i * 7 + 3) & 0xFF)) << i;
}

TEST(CipherStream, WritesOneChainAcrossChunksAndChecksTheTag) {
    const std::string key = Pattern(32), iv = Pattern(16).substr(0, 16), header = std::string(32, 'h');
    for (size_t size : {size_t(0), size_t(5), size_t(16), CZtCipherStream::kChunkMode2,
                        2 * CZtCipherStream::kChunkMode2 + 517}) {
        std::string plain = Pattern(size), stored;
        CZtCipherStream w;
        ASSERT_TRUE(w.BeginWrite(key, iv, header, AppendTo(stored)));
        // Pieces that straddle the chunk boundaries.
        for (size_t at = 0; at < plain.size(); at += 300001)
            ASSERT_TRUE(w.Write(std::string_view(plain).substr(at, 300001)));
        ASSERT_TRUE(w.EndWrite());
        std::string padded = ZeroPadded(plain);
        ASSERT_EQ(stored.size(), padded.size() + 16) << size;

        // The chunks form one CBC chain: the same as encrypting the whole at once.
        auto whole = AesCbcEncrypt(key, iv, plain, CbcPadding::Zero);
        EXPECT_TRUE(stored.compare(0, whole->size(), *whole) == 0) << size;
        HmacSha256Hasher mac(Sha256(key));
        mac.Update(header);
        mac.Update(*whole);
        EXPECT_EQ(stored.substr(stored.size() - 16), mac.Final().str().substr(0, 16)) << size;

        size_t pos = 0;
        CZtCipherStream r;
        ASSERT_TRUE(r.BeginRead(key, iv, 2, stored.size(), header, ReadFrom(stored, pos)));
        std::string back(size_t(r.PayloadLength()), '\0');
        EXPECT_EQ(r.Read(back.data(), back.size()), back.size());
        EXPECT_EQ(r.EndRead(), CZtCipherStream::End::Ok);
        EXPECT_EQ(back, padded);
    }
}

TEST(CipherStream, ReportsTagMismatchAndShortData) {
    const std::string key = Pattern(32), iv(16, '\x01');
    std::string stored;
    CZtCipherStream w;
    ASSERT_TRUE(w.BeginWrite(key, iv, {}, AppendTo(stored)));
    ASSERT_TRUE(w.Write(Pattern(100)));
    ASSERT_TRUE(w.EndWrite());

    auto end = [&](const std::string& data, uint64_t length, std::string_view header) {
        size_t pos = 0;
        CZtCipherStream r;
        if (!r.BeginRead(key, iv, 2, length, header, ReadFrom(data, pos))) return std::string("refused");
        // EndRead consumes what the caller left unread.
        switch (r.EndRead()) {
        case CZtCipherStream::End::Ok: return std::string("ok");
        case CZtCipherStream::End::TagMismatch: return std::string("mismatch");
        case CZtCipherStream::End::Failed: return std::string("failed");
        }
        return std::string();
    };
    std::string flipped = stored;
    flipped[20] ^= 1;
    EXPECT_EQ(end(stored, stored.size(), {}), "ok");
    EXPECT_EQ(end(flipped, flipped.size(), {}), "mismatch");
    EXPECT_EQ(end(stored, stored.size(), std::string(32, 'h')), "mismatch"); // header hash not written
    EXPECT_EQ(end(stored.substr(0, 50), stored.size(), {}), "failed");       // data ends early
    EXPECT_EQ(end(stored, stored.size() - 1, {}), "refused");                // not whole blocks
    EXPECT_EQ(end(stored, 15, {}), "refused");                               // shorter than the tag
    size_t pos = 0;
    CZtCipherStream r;
    EXPECT_FALSE(r.BeginRead(key, iv, 3, stored.size(), {}, ReadFrom(stored, pos)));
}

// ---- Items ----------------------------------------------------------------------

TEST(KeyRing, ReadsIndependentlyBuiltItem) {
    test::ScriptedPrompter prompter;
    CZtKeyRing ring(&prompter);
    ASSERT_EQ(ring.LoadKeyArea(Bin(fixtures::kArea)), 0);
    ASSERT_TRUE(ring.Unlock(Np("Alice", "pw-alice")));
    const std::string item = Bin(fixtures::kZt08);
    auto plain = ring.ReadItem("ZT08", item);
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, ZeroPadded(Bin(fixtures::kPlain2)));
    EXPECT_TRUE(prompter.messages.empty());

    // A changed cipher or tag byte: the item is refused and the mismatch reported.
    for (size_t back : {size_t(1), size_t(20)}) {
        std::string damaged = item;
        damaged[damaged.size() - back] ^= 1;
        bool mismatch = false;
        EXPECT_FALSE(ring.ReadItem("ZT08", damaged, &mismatch)) << back;
        EXPECT_TRUE(mismatch);
    }
    EXPECT_EQ(prompter.messages, (std::vector<std::string>{kMsgDataMacBad, kMsgDataMacBad}));

    std::string badLength = item;
    for (uint32_t length : {0u, 1000001u, uint32_t(item.size())}) {
        SetLE32(badLength.data(), length);
        EXPECT_FALSE(ring.ReadItem("ZT08", badLength)) << length;
    }
    EXPECT_FALSE(ring.ReadItem("ZT08", item.substr(0, 3)));
    EXPECT_FALSE(ring.ReadItem("ZT09", item));

    // Another document key: the item's key area does not match and is refused.
    CZtKeyRing other;
    ASSERT_TRUE(other.CreateEncryption(Np("Alice", "pw-alice")));
    EXPECT_FALSE(other.ReadItem("ZT08", item));
}

// ---- Creating and editing ---------------------------------------------------------

TEST(KeyRing, CreateSaveReloadAndItemsRoundTrip) {
    CZtKeyRing ring;
    EXPECT_FALSE(ring.CreateEncryption(Np("Alice", "")));
    ASSERT_TRUE(ring.CreateEncryption(Np("Alice", "secret")));
    EXPECT_EQ(ring.State(), CZtKeyRing::kUnlocked);
    const std::string& b = ring.Block(0);
    EXPECT_EQ(b.size(), CZtKeyRing::kBlockSize);
    EXPECT_EQ(GetLE32(b.data()), 2u);
    EXPECT_EQ(GetLE32(b.data() + 4), CZtKeyRing::kTypeWrappedSha256);
    EXPECT_EQ(GetLE32(b.data() + 24), 300000u);
    EXPECT_EQ(GetLE32(b.data() + 28), 40u);
    EXPECT_FALSE(ring.CreateEncryption(Np("Bob", "x"))); // already encrypted

    const std::string content = Pattern(70000);
    auto zt07 = ring.WriteItem("ZT07", content);
    auto zt08 = ring.WriteItem("ZT08", content);
    ASSERT_TRUE(zt07 && zt08);
    EXPECT_EQ(zt07->substr(0, 4), "ZT07");
    EXPECT_EQ(zt08->substr(0, 4), "ZT08");
    EXPECT_EQ(GetLE32(zt08->data() + 4), CZtKeyRing::kBlockSize);

    ASSERT_TRUE(ring.PrepareSave());
    CZtKeyRing reopened;
    ASSERT_EQ(reopened.LoadKeyArea(ring.KeyArea()), 0);
    ASSERT_TRUE(reopened.Unlock(Np("Alice", "secret")));
    EXPECT_EQ(reopened.DocumentKey(), ring.DocumentKey());
    // "ZT08" carries its own key area and survives the new IV; "ZT07" uses the ring's.
    EXPECT_EQ(reopened.ReadItem("ZT08", std::string_view(*zt08).substr(4)), ZeroPadded(content));
    auto zt07again = reopened.WriteItem("ZT07", content);
    EXPECT_EQ(reopened.ReadItem("ZT07", std::string_view(*zt07again).substr(4)), ZeroPadded(content));
}

TEST(KeyRing, EditingNamesAndCertificates) {
    FakeKeyObject key;
    const auto alice = Np("Alice", "a-pw"), bob = Np("Bob", "b-pw"), carl = Np("Carl", "c-pw");
    CZtKeyRing ring;
    ASSERT_TRUE(ring.CreateEncryption(alice));
    const SecureBytes docKey = ring.DocumentKey();

    EXPECT_FALSE(ring.AddCredentials(Np("Alice", "wrong"), bob)); // current credentials must hold
    ASSERT_TRUE(ring.AddCredentials(alice, bob));
    EXPECT_TRUE(ring.SeveralBlocks());
    EXPECT_FALSE(ring.AddCredentials(alice, Np("Bob", "other"))); // the name has a block already
    ASSERT_TRUE(ring.AddCredentials(alice, Cert(key)));
    EXPECT_FALSE(ring.AddCredentials(alice, Cert(key)));
    FakeKeyObject ec("ec public key", std::string(kOidEcPublicKey));
    EXPECT_FALSE(ring.AddCredentials(alice, Cert(ec))); // only RSA keys take new blocks
    EXPECT_EQ(ring.BlockCount(), 3u);

    // Several blocks: a change rebuilds the current block around the same key,
    // unless the new name already owns another block.
    EXPECT_FALSE(ring.ChangeCredentials(alice, Np("Bob", "new")));
    ASSERT_TRUE(ring.ChangeCredentials(alice, carl));
    EXPECT_EQ(ring.DocumentKey(), docKey);
    EXPECT_FALSE(ring.Verify(alice));
    EXPECT_TRUE(ring.Verify(carl));

    // Everyone opens the saved area; all blocks share one IV and content mode 2.
    ASSERT_TRUE(ring.PrepareSave());
    for (size_t i = 1; i < ring.BlockCount(); ++i) {
        EXPECT_EQ(ring.Block(i).substr(32, 16), ring.Block(0).substr(32, 16));
        EXPECT_EQ(GetLE32(ring.Block(i).data()), 2u);
    }
    struct Open {
        CZtCredentials who;
        size_t block;
    } opens[] = {{carl, 0}, {bob, 1}, {Cert(key), 2}};
    for (const auto& o : opens) {
        CZtKeyRing r;
        ASSERT_EQ(r.LoadKeyArea(ring.KeyArea()), 0);
        ASSERT_TRUE(r.Unlock(o.who)) << o.block;
        EXPECT_EQ(r.CurrentBlock(), o.block);
        EXPECT_EQ(r.DocumentKey(), docKey);
    }

    // Removing: never the current block; the index follows; the flag clears at one block.
    CZtKeyRing r;
    ASSERT_EQ(r.LoadKeyArea(ring.KeyArea()), 0);
    ASSERT_TRUE(r.Unlock(Cert(key)));
    EXPECT_FALSE(r.RemoveCredentials(Cert(key), Cert(key)));
    EXPECT_FALSE(r.RemoveCredentials(Cert(key), Np("Nobody", "")));
    ASSERT_TRUE(r.RemoveCredentials(Cert(key), Np("Bob", "")));
    EXPECT_EQ(r.BlockCount(), 2u);
    EXPECT_EQ(r.CurrentBlock(), 1u);
    EXPECT_TRUE(r.SeveralBlocks());
    ASSERT_TRUE(r.RemoveCredentials(Cert(key), Np("Carl", "")));
    EXPECT_EQ(r.CurrentBlock(), 0u);
    EXPECT_FALSE(r.SeveralBlocks());

    // One block left: a change makes a new encryption with a new document key.
    ASSERT_TRUE(r.ChangeCredentials(Cert(key), alice));
    EXPECT_NE(r.DocumentKey(), docKey);
    EXPECT_EQ(r.BlockCount(), 1u);
    EXPECT_TRUE(r.Verify(alice));

    // An empty name removes nothing; removing all encryption is explicit.
    EXPECT_FALSE(r.RemoveCredentials(alice, Np("", "")));
    EXPECT_EQ(r.State(), CZtKeyRing::kUnlocked);
    EXPECT_FALSE(r.RemoveEncryption(bob));
    ASSERT_TRUE(r.RemoveEncryption(alice));
    EXPECT_EQ(r.State(), CZtKeyRing::kUnencrypted);
    EXPECT_TRUE(r.DocumentKey().empty());
    EXPECT_EQ(r.KeyArea(), "");
}

// ---- Plain bytes, bypass and a failing generator ------------------------------------

TEST(KeyRing, PlainStreamsFeedTheDigest) {
    CZtKeyRing ring;
    std::string stored;
    ASSERT_TRUE(ring.BeginWrite(AppendTo(stored)));
    EXPECT_FALSE(ring.BeginWrite(AppendTo(stored))); // one stream at a time
    ASSERT_TRUE(ring.Write("hello "));
    ASSERT_TRUE(ring.Write("world"));
    ASSERT_TRUE(ring.EndWrite());
    EXPECT_EQ(stored, "hello world");
    EXPECT_EQ(ring.PlainDigest(), Sha256("hello world"));

    ring.ResetPlainDigest();
    size_t pos = 0;
    ASSERT_TRUE(ring.BeginRead(stored.size(), ReadFrom(stored, pos)));
    char buf[5];
    EXPECT_EQ(ring.Read(buf, 5), 5u);
    EXPECT_EQ(ring.EndRead(), CZtCipherStream::End::Ok); // the rest is consumed and hashed
    EXPECT_EQ(ring.PlainDigest(), Sha256("hello world"));
    EXPECT_EQ(ring.WriteItem("ZT08", "abc"), std::string("abc"));

    // With the bypass flag an unlocked ring passes plain bytes as well.
    ASSERT_TRUE(ring.CreateEncryption(Np("Alice", "pw")));
    ring.SetBypass(true);
    stored.clear();
    ASSERT_TRUE(ring.BeginWrite(AppendTo(stored)));
    ASSERT_TRUE(ring.Write("plain"));
    ASSERT_TRUE(ring.EndWrite());
    EXPECT_EQ(stored, "plain");
    ring.SetBypass(false);

    // Unlocked: the stream is encrypted under the current block's IV and reads back.
    stored.clear();
    ASSERT_TRUE(ring.BeginWrite(AppendTo(stored)));
    ASSERT_TRUE(ring.Write("secret text"));
    ASSERT_TRUE(ring.EndWrite());
    EXPECT_EQ(stored.size(), 32u);
    pos = 0;
    ASSERT_TRUE(ring.BeginRead(stored.size(), ReadFrom(stored, pos)));
    std::string back(16, '\0');
    EXPECT_EQ(ring.Read(back.data(), 16), 16u);
    EXPECT_EQ(ring.EndRead(), CZtCipherStream::End::Ok);
    EXPECT_EQ(back, ZeroPadded("secret text"));
}

namespace {
bool FailingSource(void*, size_t) { return false; }
} // namespace

TEST(KeyRing, FailingGeneratorChangesNothing) {
    test::ScriptedPrompter prompter;
    CZtKeyRing ring(&prompter);
    ASSERT_TRUE(ring.CreateEncryption(Np("Alice", "pw")));
    const std::string area = ring.KeyArea();
    const SecureBytes docKey = ring.DocumentKey();

    SetRandomSource(&FailingSource);
    EXPECT_FALSE(ring.PrepareSave());
    EXPECT_FALSE(ring.ChangeCredentials(Np("Alice", "pw"), Np("Bob", "pw2")));
    EXPECT_FALSE(ring.WriteItem("ZT08", "abc"));
    CZtKeyRing fresh(&prompter);
    EXPECT_FALSE(fresh.CreateEncryption(Np("Alice", "pw")));
    SetRandomSource(nullptr);

    EXPECT_EQ(fresh.State(), CZtKeyRing::kUnencrypted);
    EXPECT_EQ(ring.State(), CZtKeyRing::kUnlocked);
    EXPECT_EQ(ring.KeyArea(), area);
    EXPECT_EQ(ring.DocumentKey(), docKey);
    EXPECT_TRUE(ring.Verify(Np("Alice", "pw")));
    ASSERT_FALSE(prompter.messages.empty());
    for (const auto& m : prompter.messages) EXPECT_EQ(m, MessageText(Msg::NoRandomSource));
}
