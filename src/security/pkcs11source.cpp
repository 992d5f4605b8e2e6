#include "security/pkcs11source.h"

#include "base/messages.h"
#include "security/boundedcall.h"
#include "security/securebytes.h"

#include <crypto++/filters.h>
#include <crypto++/osrng.h>
#include <crypto++/rsa.h>
#include <p11-kit/pkcs11.h>

#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <mutex>

namespace zt {

namespace {

constexpr CK_ULONG kMaxObjects = 100;
constexpr CK_ULONG kMaxSlots = 256;
constexpr CK_ULONG kMaxAttribute = 1 << 20;

// The function table a driver works with. Its own table lives in the module;
// one built from individual exports is ours and shared with every call that
// may still run on a thread of its own.
using Table = std::shared_ptr<CK_FUNCTION_LIST>;

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

// The table of a driver without C_GetFunctionList (or whose C_GetFunctionList
// fails): its individually exported functions in a zeroed table.
Table TableFromExports(void* module) {
    auto t = std::make_shared<CK_FUNCTION_LIST>();
    *t = CK_FUNCTION_LIST{};
    t->version = {2, 20};
    auto get = [module](const char* name) { return dlsym(module, name); };
#define ZT_EXPORT(name) t->name = reinterpret_cast<decltype(t->name)>(get(#name))
    ZT_EXPORT(C_Initialize);
    ZT_EXPORT(C_Finalize);
    ZT_EXPORT(C_GetSlotList);
    ZT_EXPORT(C_GetTokenInfo);
    ZT_EXPORT(C_OpenSession);
    ZT_EXPORT(C_CloseSession);
    ZT_EXPORT(C_GetAttributeValue);
    ZT_EXPORT(C_Login);
    ZT_EXPORT(C_Logout);
    ZT_EXPORT(C_FindObjectsInit);
    ZT_EXPORT(C_FindObjects);
    ZT_EXPORT(C_FindObjectsFinal);
    ZT_EXPORT(C_SignInit);
    ZT_EXPORT(C_Sign);
    ZT_EXPORT(C_EncryptInit);
    ZT_EXPORT(C_Encrypt);
    ZT_EXPORT(C_DecryptInit);
    ZT_EXPORT(C_Decrypt);
#undef ZT_EXPORT
    return t;
}

// Every function the key source calls, and the login pair.
bool Usable(const CK_FUNCTION_LIST& f) {
    return f.C_Initialize && f.C_Finalize && f.C_GetSlotList && f.C_OpenSession && f.C_CloseSession && f.C_Login &&
           f.C_Logout && f.C_FindObjectsInit && f.C_FindObjects && f.C_FindObjectsFinal && f.C_GetAttributeValue &&
           f.C_DecryptInit && f.C_Decrypt;
}

std::string Hex(CK_RV rv) {
    char text[20];
    std::snprintf(text, sizeof text, "%lX", (unsigned long)rv);
    return text;
}

} // namespace

// What the driver's calls share: the table, the call timeout, and whether the
// driver was given up. Key objects hold it too, so their calls are bounded
// the same way.
struct CallGate {
    Table f;
    std::chrono::milliseconds timeout{30000};
    std::function<void()> waitHook;
    bool hung = false;

    // Runs `work` bounded; false (and the driver is given up) when it does not
    // return in time, or when the driver was given up before.
    bool Run(std::function<void()> work) {
        if (hung || !f) return false;
        if (!RunBounded(std::move(work), timeout, waitHook)) hung = true;
        return !hung;
    }
};

struct CZtPkcs11Source::Impl {
    std::string path;
    void* module = nullptr;
    std::shared_ptr<CallGate> gate = std::make_shared<CallGate>();
    bool initialized = false;
    bool finalize = false;
    Failure failure = Failure::None;
    std::string detail; // the loader's reason or C_Initialize's value
    CK_RV loginRv = CKR_OK;
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
    Pkcs11KeyObject(std::shared_ptr<CallGate> gate, CK_SESSION_HANDLE s, const CZtPkcs11Source::Entry& e)
        : gate_(std::move(gate)), session_(s), cert_(e.certificate), id_(e.id) {}
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
        // The work owns its input and output: it may outlive this call.
        struct Job {
            Table f;
            CK_SESSION_HANDLE session;
            std::string id, in;
            std::optional<SecureBytes> out;
        };
        auto job = std::make_shared<Job>(Job{gate_->f, session_, id_, std::string(data), std::nullopt});
        if (!gate_->Run([job] { job->out = Decrypt(job->f.get(), job->session, job->id, job->in); }))
            return std::nullopt;
        return std::move(job->out);
    }

private:
    static std::optional<SecureBytes> Decrypt(CK_FUNCTION_LIST* f, CK_SESSION_HANDLE session, const std::string& id,
                                              std::string& in) {
        auto keys = Find(f, session, CKO_PRIVATE_KEY, &id, 10);
        if (keys.empty()) {
            std::fputs("Certificate not found\n", stderr);
            return std::nullopt;
        }
        CK_MECHANISM mech{CKM_RSA_PKCS, nullptr, 0};
        CK_RV rv = f->C_DecryptInit(session, &mech, keys[0]);
        if (rv != CKR_OK) {
            LogError("C_DecryptInit", rv);
            return std::nullopt;
        }
        CK_ULONG length = 0;
        rv = f->C_Decrypt(session, reinterpret_cast<CK_BYTE*>(in.data()), CK_ULONG(in.size()), nullptr, &length);
        // The plaintext is never longer than the ciphertext of an RSA block.
        if (rv != CKR_OK || length == 0 || length > in.size()) {
            if (rv != CKR_OK) LogError("C_Decrypt", rv);
            else f->C_Decrypt(session, reinterpret_cast<CK_BYTE*>(in.data()), CK_ULONG(in.size()), nullptr,
                              nullptr); // ends the operation
            return std::nullopt;
        }
        SecureBytes out(length);
        CK_ULONG got = length;
        rv = f->C_Decrypt(session, reinterpret_cast<CK_BYTE*>(in.data()), CK_ULONG(in.size()), out.data(), &got);
        if (rv != CKR_OK) {
            LogError("C_Decrypt", rv);
            return std::nullopt;
        }
        if (got > length) return std::nullopt;
        out.resize(got);
        return out;
    }

    std::shared_ptr<CallGate> gate_;
    CK_SESSION_HANDLE session_;
    CZtCertificateInfo cert_;
    std::string id_;
};

} // namespace

CZtPkcs11Source::CZtPkcs11Source() : impl_(std::make_unique<Impl>()) {}
CZtPkcs11Source::~CZtPkcs11Source() { Release(); }

void CZtPkcs11Source::SetCallTimeout(std::chrono::milliseconds timeout) { impl_->gate->timeout = timeout; }
void CZtPkcs11Source::SetWaitHook(std::function<void()> hook) { impl_->gate->waitHook = std::move(hook); }
CZtPkcs11Source::Failure CZtPkcs11Source::LastFailure() const { return impl_->failure; }
bool CZtPkcs11Source::TimedOut() const { return impl_->failure == Failure::TimedOut; }
const std::string& CZtPkcs11Source::Path() const { return impl_->path; }
bool CZtPkcs11Source::PinLocked() const { return impl_->loginRv == CKR_PIN_LOCKED; }

std::string CZtPkcs11Source::FailureText() const {
    const Impl& m = *impl_;
    if (m.failure == Failure::TimedOut)
        return FormatMessage(Msg::Pkcs11TimedOut, {m.path, std::to_string((m.gate->timeout.count() + 999) / 1000)});
    if (m.failure == Failure::NoSlots) return MessageText(Msg::KeySourceNoTokens);
    std::string text = FormatMessage(Msg::Pkcs11DriverUnusable, {m.path});
    switch (m.failure) {
    case Failure::NotLoadable: text += "\n" + FormatMessage(Msg::Pkcs11NotLoadable, {m.detail}); break;
    case Failure::NoFunctions: text += "\n" + std::string(MessageText(Msg::Pkcs11NoFunctions)); break;
    case Failure::InitFailed: text += "\n" + FormatMessage(Msg::Pkcs11InitFailed, {m.detail}); break;
    default: break;
    }
    return text;
}

bool CZtPkcs11Source::Load(const std::string& path) {
    Release();
    Impl& m = *impl_;
    m.path = path;
    m.failure = Failure::None;
    // Loading runs library constructors and C_Initialize, either of which may
    // hang; the work keeps what it found in a job of its own.
    struct Job {
        std::string path;
        void* module = nullptr;
        Table f;
        Failure failure = Failure::None;
        std::string detail;
        CK_RV rv = CKR_OK;
    };
    auto job = std::make_shared<Job>();
    job->path = path;
    auto& gate = *m.gate;
    gate.f = std::make_shared<CK_FUNCTION_LIST>(); // a placeholder so that the gate runs
    const bool answered = gate.Run([job] {
        job->module = dlopen(job->path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!job->module) {
            const char* why = dlerror();
            job->failure = Failure::NotLoadable;
            job->detail = why ? why : "";
            return;
        }
        auto getList = reinterpret_cast<CK_C_GetFunctionList>(dlsym(job->module, "C_GetFunctionList"));
        CK_FUNCTION_LIST* list = nullptr;
        if (getList && getList(&list) == CKR_OK && list) job->f = Table(list, [](CK_FUNCTION_LIST*) {});
        else job->f = TableFromExports(job->module);
        if (!Usable(*job->f)) {
            job->failure = Failure::NoFunctions;
            return;
        }
        job->rv = job->f->C_Initialize(nullptr);
        // Another source of the same process may have initialised the
        // driver; it then also finalizes it.
        if (job->rv != CKR_OK && job->rv != CKR_CRYPTOKI_ALREADY_INITIALIZED) {
            job->failure = Failure::InitFailed;
            job->detail = Hex(job->rv);
        }
    });
    if (!answered) {
        // The module stays loaded: its thread may still run in it.
        m.failure = Failure::TimedOut;
        return false;
    }
    m.module = job->module;
    m.failure = job->failure;
    m.detail = job->detail;
    if (m.failure != Failure::None) {
        gate.f.reset();
        if (m.module) dlclose(m.module);
        m.module = nullptr;
        return false;
    }
    gate.f = job->f;
    m.initialized = true;
    m.finalize = job->rv == CKR_OK;
    return true;
}

bool CZtPkcs11Source::ListCertificates() {
    Impl& m = *impl_;
    if (!m.initialized) return false;
    // The whole listing is one bounded job; it opens sessions for the slots
    // that have none yet and reports them back.
    struct Found {
        Entry entry;
        CK_SLOT_ID slot;
    };
    struct Job {
        Table f;
        std::map<CK_SLOT_ID, CK_SESSION_HANDLE> sessions;
        std::vector<Found> found;
        bool ok = false;
    };
    auto job = std::make_shared<Job>();
    job->f = m.gate->f;
    job->sessions = m.sessions;
    const bool answered = m.gate->Run([job] {
        CK_FUNCTION_LIST* f = job->f.get();
        CK_ULONG count = 0;
        CK_RV rv = f->C_GetSlotList(CK_TRUE, nullptr, &count);
        if (rv != CKR_OK) {
            LogError("get slot list", rv);
            return;
        }
        if (count > kMaxSlots) return;
        std::vector<CK_SLOT_ID> slots(count);
        if (count) {
            rv = f->C_GetSlotList(CK_TRUE, slots.data(), &count);
            if (rv == CKR_BUFFER_TOO_SMALL && count <= kMaxSlots) {
                slots.resize(count);
                rv = f->C_GetSlotList(CK_TRUE, slots.data(), &count);
            }
            if (rv != CKR_OK || count > slots.size()) {
                LogError("get slot list", rv);
                return;
            }
            slots.resize(count);
        }
        job->ok = true;
        for (CK_SLOT_ID slot : slots) {
            CK_TOKEN_INFO info{};
            std::string tokenLabel;
            if (f->C_GetTokenInfo) {
                // A free slot of a driver holds a token that is not initialised yet.
                if (f->C_GetTokenInfo(slot, &info) != CKR_OK || !(info.flags & CKF_TOKEN_INITIALIZED)) continue;
                tokenLabel.assign(reinterpret_cast<const char*>(info.label), sizeof info.label);
                while (!tokenLabel.empty() && tokenLabel.back() == ' ') tokenLabel.pop_back();
            }
            if (!job->sessions.count(slot)) {
                CK_SESSION_HANDLE s = 0;
                rv = f->C_OpenSession(slot, CKF_SERIAL_SESSION, nullptr, nullptr, &s);
                if (rv != CKR_OK) {
                    LogError("open session", rv);
                    continue;
                }
                job->sessions[slot] = s;
            }
            CK_SESSION_HANDLE s = job->sessions[slot];
            for (CK_OBJECT_HANDLE o : Find(f, s, CKO_CERTIFICATE, nullptr, kMaxObjects)) {
                std::string value, id, label;
                if (!GetAttribute(f, s, o, CKA_VALUE, value)) continue;
                GetAttribute(f, s, o, CKA_ID, id);
                GetAttribute(f, s, o, CKA_LABEL, label);
                auto cert = ParseCertificate(value);
                if (!cert) continue;
                job->found.push_back(
                    {{std::move(*cert), tokenLabel, label, id, (info.flags & CKF_LOGIN_REQUIRED) != 0}, slot});
            }
        }
    });
    m.items.clear();
    if (!answered) {
        m.failure = Failure::TimedOut;
        return false;
    }
    m.sessions = job->sessions;
    if (!job->ok) {
        m.failure = Failure::NoSlots;
        return false;
    }
    for (Found& found : job->found) {
        Impl::Item item;
        item.entry = std::move(found.entry);
        item.slot = found.slot;
        item.key = std::make_unique<Pkcs11KeyObject>(m.gate, m.sessions[found.slot], item.entry);
        m.items.push_back(std::move(item));
    }
    return true;
}

size_t CZtPkcs11Source::Count() const { return impl_->items.size(); }
const CZtPkcs11Source::Entry& CZtPkcs11Source::Certificate(size_t i) const { return impl_->items.at(i).entry; }
CZtKeyObject* CZtPkcs11Source::KeyObject(size_t i) const { return impl_->items.at(i).key.get(); }

bool CZtPkcs11Source::Login(size_t i, std::string_view pin) {
    Impl& m = *impl_;
    m.loginRv = CKR_OK;
    if (i >= m.items.size()) return false;
    CK_SLOT_ID slot = m.items[i].slot;
    if (m.loggedIn[slot]) return true;
    struct Job {
        Table f;
        CK_SESSION_HANDLE session;
        SecureBytes pin; // wiped when the job goes, on whichever thread
        CK_RV rv = CKR_GENERAL_ERROR;
    };
    auto job = std::make_shared<Job>(Job{m.gate->f, m.sessions[slot], SecureBytes(pin)});
    const bool answered = m.gate->Run([job] {
        job->rv = job->f->C_Login(job->session, CKU_USER, reinterpret_cast<CK_UTF8CHAR*>(job->pin.data()),
                                  CK_ULONG(job->pin.size()));
    });
    if (!answered) {
        m.failure = Failure::TimedOut;
        return false;
    }
    m.loginRv = job->rv;
    if (job->rv != CKR_OK && job->rv != CKR_USER_ALREADY_LOGGED_IN) return false;
    m.loggedIn[slot] = true;
    return true;
}

void CZtPkcs11Source::Release() {
    Impl& m = *impl_;
    m.items.clear();
    CallGate& gate = *m.gate;
    if (gate.hung) {
        // A call of this driver never came back: nothing more is asked of it
        // and the module is not unloaded under its thread. The next Load
        // starts with a fresh gate.
        m.module = nullptr;
    } else if (gate.f && m.initialized) {
        struct Job {
            Table f;
            std::map<CK_SLOT_ID, CK_SESSION_HANDLE> sessions;
            std::map<CK_SLOT_ID, bool> loggedIn;
            bool finalize;
        };
        auto job = std::make_shared<Job>(Job{gate.f, m.sessions, m.loggedIn, m.finalize});
        gate.Run([job] {
            for (auto& [slot, s] : job->sessions) {
                if (job->loggedIn[slot]) job->f->C_Logout(s);
                CK_RV rv = job->f->C_CloseSession(s);
                if (rv != CKR_OK) LogError("close session", rv);
            }
            if (job->finalize) job->f->C_Finalize(nullptr);
        });
    }
    if (m.module && !gate.hung) dlclose(m.module);
    m.module = nullptr;
    m.sessions.clear();
    m.loggedIn.clear();
    m.initialized = false;
    m.finalize = false;
    if (gate.hung) {
        auto fresh = std::make_shared<CallGate>();
        fresh->timeout = gate.timeout;
        fresh->waitHook = gate.waitHook;
        m.gate = fresh;
    } else {
        gate.f.reset();
    }
}

} // namespace zt
