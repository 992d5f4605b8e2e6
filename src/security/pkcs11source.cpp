#include "security/pkcs11source.h"

#include "security/securebytes.h"

#include <crypto++/filters.h>
#include <crypto++/osrng.h>
#include <crypto++/rsa.h>
#include <p11-kit/pkcs11.h>

#include <dlfcn.h>

#include <cstdio>
#include <map>

namespace zt {

namespace {

constexpr CK_ULONG kMaxObjects = 100;
constexpr CK_ULONG kMaxSlots = 256;
constexpr CK_ULONG kMaxAttribute = 1 << 20;

void LogError(const char* step, CK_RV rv) { std::fprintf(stderr, "Error at %s: %lu\n", step, (unsigned long)rv); }

// One attribute of an object, with a first buffer of 100 bytes and one retry
// with the reported size.
bool GetAttribute(CK_FUNCTION_LIST* f, CK_SESSION_HANDLE s, CK_OBJECT_HANDLE o, CK_ATTRIBUTE_TYPE type,
                  std::string& out) {
    std::string buffer(100, '\0');
    CK_ATTRIBUTE a{type, buffer.data(), CK_ULONG(buffer.size())};
    CK_RV rv = f->C_GetAttributeValue(s, o, &a, 1);
    if (rv == CKR_BUFFER_TOO_SMALL) {
        // Drivers of PKCS#11 2.40 and later do not report the size with this
        // error; a call without a buffer asks for it.
        if (a.ulValueLen == CK_UNAVAILABLE_INFORMATION || a.ulValueLen <= buffer.size()) {
            a = {type, nullptr, 0};
            if (f->C_GetAttributeValue(s, o, &a, 1) != CKR_OK) return false;
        }
        if (a.ulValueLen == CK_UNAVAILABLE_INFORMATION || a.ulValueLen > kMaxAttribute) return false;
        buffer.assign(a.ulValueLen, '\0');
        a = {type, buffer.data(), CK_ULONG(buffer.size())};
        rv = f->C_GetAttributeValue(s, o, &a, 1);
    }
    if (rv != CKR_OK) {
        LogError("GetAttribute", rv);
        return false;
    }
    if (a.ulValueLen == CK_UNAVAILABLE_INFORMATION || a.ulValueLen > buffer.size()) return false;
    out.assign(buffer.data(), a.ulValueLen);
    return true;
}

std::vector<CK_OBJECT_HANDLE> Find(CK_FUNCTION_LIST* f, CK_SESSION_HANDLE s, CK_OBJECT_CLASS cls,
                                   const std::string* id, CK_ULONG max) {
    std::vector<CK_ATTRIBUTE> tmpl{{CKA_CLASS, &cls, sizeof cls}};
    if (id) tmpl.push_back({CKA_ID, const_cast<char*>(id->data()), CK_ULONG(id->size())});
    std::vector<CK_OBJECT_HANDLE> out;
    CK_RV rv = f->C_FindObjectsInit(s, tmpl.data(), CK_ULONG(tmpl.size()));
    if (rv != CKR_OK) {
        LogError("Find objects init", rv);
        return out;
    }
    std::vector<CK_OBJECT_HANDLE> found(max);
    CK_ULONG count = 0;
    rv = f->C_FindObjects(s, found.data(), max, &count);
    if (rv != CKR_OK) LogError("Find object", rv);
    else if (count <= max) out.assign(found.begin(), found.begin() + count);
    f->C_FindObjectsFinal(s);
    return out;
}

} // namespace

struct CZtPkcs11Source::Impl {
    void* module = nullptr;
    CK_FUNCTION_LIST* f = nullptr;
    bool initialized = false;
    bool finalize = false;
    std::map<CK_SLOT_ID, CK_SESSION_HANDLE> sessions;
    std::map<CK_SLOT_ID, bool> loggedIn;
    struct Item {
        Entry entry;
        CK_SLOT_ID slot;
        std::unique_ptr<CZtKeyObject> key;
    };
    std::vector<Item> items;
};

namespace {

class Pkcs11KeyObject : public CZtKeyObject {
public:
    Pkcs11KeyObject(CK_FUNCTION_LIST* f, CK_SESSION_HANDLE s, const CZtPkcs11Source::Entry& e)
        : f_(f), session_(s), cert_(e.certificate), id_(e.id) {}
    std::string PublicKeyAlgorithm() const override { return cert_.keyAlgorithm; }
    std::string PublicKeyBytes() const override { return cert_.publicKeyBytes; }

    std::optional<std::string> EncryptToPublicKey(std::string_view data, std::string_view oid) override {
        if (oid != kOidRsaEncryption || cert_.keyAlgorithm != kOidRsaEncryption) return std::nullopt;
        try {
            CryptoPP::RSA::PublicKey pub;
            CryptoPP::StringSource src(reinterpret_cast<const CryptoPP::byte*>(cert_.spki.data()), cert_.spki.size(),
                                       true);
            pub.BERDecode(src);
            CryptoPP::RSAES_PKCS1v15_Encryptor e(pub);
            size_t n = e.CiphertextLength(data.size());
            if (n == 0 || data.size() > e.FixedMaxPlaintextLength()) return std::nullopt;
            std::string out(n, '\0');
            CryptoPP::AutoSeededRandomPool rng;
            e.Encrypt(rng, reinterpret_cast<const CryptoPP::byte*>(data.data()), data.size(),
                      reinterpret_cast<CryptoPP::byte*>(out.data()));
            return out;
        } catch (const CryptoPP::Exception&) {
            return std::nullopt;
        }
    }

    std::optional<SecureBytes> DecryptWithPrivateKey(std::string_view data, std::string_view oid) override {
        if (oid != kOidRsaEncryption || data.empty()) return std::nullopt;
        auto keys = Find(f_, session_, CKO_PRIVATE_KEY, &id_, 10);
        if (keys.empty()) {
            std::fputs("Certificate not found\n", stderr);
            return std::nullopt;
        }
        CK_MECHANISM mech{CKM_RSA_PKCS, nullptr, 0};
        CK_RV rv = f_->C_DecryptInit(session_, &mech, keys[0]);
        if (rv != CKR_OK) {
            LogError("C_DecryptInit", rv);
            return std::nullopt;
        }
        std::string in(data);
        CK_ULONG length = 0;
        rv = f_->C_Decrypt(session_, reinterpret_cast<CK_BYTE*>(in.data()), CK_ULONG(in.size()), nullptr, &length);
        // The plaintext is never longer than the ciphertext of an RSA block.
        if (rv != CKR_OK || length == 0 || length > in.size()) {
            if (rv != CKR_OK) LogError("C_Decrypt", rv);
            else f_->C_Decrypt(session_, reinterpret_cast<CK_BYTE*>(in.data()), CK_ULONG(in.size()), nullptr,
                               nullptr); // ends the operation
            return std::nullopt;
        }
        SecureBytes out(length);
        CK_ULONG got = length;
        rv = f_->C_Decrypt(session_, reinterpret_cast<CK_BYTE*>(in.data()), CK_ULONG(in.size()), out.data(), &got);
        if (rv != CKR_OK) {
            LogError("C_Decrypt", rv);
            return std::nullopt;
        }
        if (got > length) return std::nullopt;
        out.resize(got);
        return out;
    }

private:
    CK_FUNCTION_LIST* f_;
    CK_SESSION_HANDLE session_;
    CZtCertificateInfo cert_;
    std::string id_;
};

} // namespace

CZtPkcs11Source::CZtPkcs11Source() : impl_(std::make_unique<Impl>()) {}
CZtPkcs11Source::~CZtPkcs11Source() { Release(); }

bool CZtPkcs11Source::Load(const std::string& path) {
    Release();
    Impl& m = *impl_;
    m.module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m.module) return false;
    auto getList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(m.module, "C_GetFunctionList"));
    if (!getList || getList(&m.f) != CKR_OK || !m.f) {
        Release();
        return false;
    }
    CK_FUNCTION_LIST* f = m.f;
    // Every function the key source calls, and the login pair.
    if (!f->C_Initialize || !f->C_Finalize || !f->C_GetSlotList || !f->C_GetTokenInfo || !f->C_OpenSession ||
        !f->C_CloseSession || !f->C_Login || !f->C_Logout || !f->C_FindObjectsInit || !f->C_FindObjects ||
        !f->C_FindObjectsFinal || !f->C_GetAttributeValue || !f->C_DecryptInit || !f->C_Decrypt) {
        Release();
        return false;
    }
    // Another source of the same process may have initialised the driver; it
    // then also finalizes it.
    CK_RV rv = f->C_Initialize(nullptr);
    if (rv != CKR_OK && rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
        Release();
        return false;
    }
    m.initialized = true;
    m.finalize = rv == CKR_OK;
    return true;
}

bool CZtPkcs11Source::ListCertificates() {
    Impl& m = *impl_;
    if (!m.initialized) return false;
    CK_FUNCTION_LIST* f = m.f;
    m.items.clear();
    CK_ULONG count = 0;
    CK_RV rv = f->C_GetSlotList(CK_TRUE, nullptr, &count);
    if (rv != CKR_OK) {
        LogError("get slot list", rv);
        return false;
    }
    if (count > kMaxSlots) return false;
    std::vector<CK_SLOT_ID> slots(count);
    if (count) {
        rv = f->C_GetSlotList(CK_TRUE, slots.data(), &count);
        if (rv == CKR_BUFFER_TOO_SMALL && count <= kMaxSlots) {
            slots.resize(count);
            rv = f->C_GetSlotList(CK_TRUE, slots.data(), &count);
        }
        if (rv != CKR_OK || count > slots.size()) {
            LogError("get slot list", rv);
            return false;
        }
        slots.resize(count);
    }
    for (CK_SLOT_ID slot : slots) {
        CK_TOKEN_INFO info{};
        // A free slot of a driver holds a token that is not initialised yet.
        if (f->C_GetTokenInfo(slot, &info) != CKR_OK || !(info.flags & CKF_TOKEN_INITIALIZED)) continue;
        std::string tokenLabel(reinterpret_cast<const char*>(info.label), sizeof info.label);
        while (!tokenLabel.empty() && tokenLabel.back() == ' ') tokenLabel.pop_back();
        CK_SESSION_HANDLE s = 0;
        if (!m.sessions.count(slot)) {
            rv = f->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &s);
            if (rv != CKR_OK) {
                LogError("open session", rv);
                continue;
            }
            m.sessions[slot] = s;
        }
        s = m.sessions[slot];
        for (CK_OBJECT_HANDLE o : Find(f, s, CKO_CERTIFICATE, nullptr, kMaxObjects)) {
            std::string value, id, label;
            if (!GetAttribute(f, s, o, CKA_VALUE, value)) continue;
            GetAttribute(f, s, o, CKA_ID, id);
            GetAttribute(f, s, o, CKA_LABEL, label);
            auto cert = ParseCertificate(value);
            if (!cert) continue;
            Impl::Item item;
            item.entry = {std::move(*cert), tokenLabel, label, id, (info.flags & CKF_LOGIN_REQUIRED) != 0};
            item.slot = slot;
            item.key = std::make_unique<Pkcs11KeyObject>(f, s, item.entry);
            m.items.push_back(std::move(item));
        }
    }
    return true;
}

size_t CZtPkcs11Source::Count() const { return impl_->items.size(); }
const CZtPkcs11Source::Entry& CZtPkcs11Source::Certificate(size_t i) const { return impl_->items.at(i).entry; }
CZtKeyObject* CZtPkcs11Source::KeyObject(size_t i) const { return impl_->items.at(i).key.get(); }

bool CZtPkcs11Source::Login(size_t i, std::string_view pin) {
    Impl& m = *impl_;
    if (i >= m.items.size()) return false;
    CK_SLOT_ID slot = m.items[i].slot;
    if (m.loggedIn[slot]) return true;
    std::string copy(pin);
    CK_RV rv = m.f->C_Login(m.sessions[slot], CKU_USER, reinterpret_cast<CK_UTF8CHAR*>(copy.data()),
                            CK_ULONG(copy.size()));
    WipeString(copy);
    if (rv != CKR_OK && rv != CKR_USER_ALREADY_LOGGED_IN) return false;
    m.loggedIn[slot] = true;
    return true;
}

void CZtPkcs11Source::Release() {
    Impl& m = *impl_;
    m.items.clear();
    if (m.f) {
        for (auto& [slot, s] : m.sessions) {
            if (m.loggedIn[slot]) m.f->C_Logout(s);
            CK_RV rv = m.f->C_CloseSession(s);
            if (rv != CKR_OK) LogError("close session", rv);
        }
        if (m.initialized && m.finalize) m.f->C_Finalize(nullptr);
    }
    m.sessions.clear();
    m.loggedIn.clear();
    m.initialized = false;
    m.finalize = false;
    m.f = nullptr;
    if (m.module) dlclose(m.module);
    m.module = nullptr;
}

} // namespace zt
