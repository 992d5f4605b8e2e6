// The message layer without a server: request texts read back strictly,
// answers read back by the program's readers, and the envelope both ways.
#include "base/xml.h"
#include "core/compress.h"
#include "security/protocol.h"
#include "server/answers.h"
#include "server/envelope.h"
#include "server/requests.h"

#include <gtest/gtest.h>

using namespace zt;
using namespace zt::srv;

namespace {

RequestHead Head() {
    return {"ZT: Wed Dec  9 01:33:48 2026", 1765000000, "us<e>r&", std::string(64, 'a'), true};
}

SaveDocRequest SampleSave() {
    SaveDocRequest s;
    s.docName = "Doc \"1\"";
    s.docIdent = "12";
    s.docMuser = "me";
    s.docTime = 99;
    s.docTitle = "Title & more";
    SaveNode a;
    a.ident = "5";
    a.title = "A";
    a.hasContent = true;
    a.time = 10;
    a.ctime = 9;
    a.cuser = "c";
    a.muser = "m";
    std::string body(3000, 'x');
    a.length = int64_t(body.size());
    a.content = CompressBuffer(body);
    a.filesLoaded = true;
    a.files = {{"f.txt", "77"}};
    SaveNode b;
    b.ident = "0123456789ABCDEF0123456789ABCDEF";
    b.identIsTemp = true;
    b.title = "B";
    a.children.push_back(b);
    s.nodes = {a};
    return s;
}

std::vector<RequestBody> AllBodies() {
    SetPageFileRequest f;
    f.docName = "D";
    f.docIdent = "1";
    f.nodeIdent = "2";
    f.file.name = "a.bin";
    f.file.ident = "TMP";
    f.file.identIsTemp = true;
    f.file.length = 5;
    f.file.content = CompressBuffer("hello");
    AdminRequest post;
    post.command = AdminCommand::ChgDocPost;
    post.docIdent = "1";
    post.docName = "old";
    post.docNameNew = "new";
    post.users = {{"a", kGrantGrant}, {"b", kRead}};
    AdminRequest pwd;
    pwd.command = AdminCommand::ChgPwd;
    pwd.pskNew = std::string(64, 'b');
    pwd.hauthNew = std::string(64, 'c');
    return {GetContentRequest{},
            GetDocRequest{true, "3", "Doc", 42},
            GetPageRequest{"Doc", 42, "3", "17", 5},
            GetPageFileRequest{"Doc", "3", 42, "9"},
            SampleSave(),
            f,
            AliveRequest{false, "Doc", "3", 42},
            post,
            pwd};
}

TEST(ServerMessages, EveryRequestReadsBackAsBuilt) {
    for (const auto& body : AllBodies()) {
        Request r{Head(), body};
        std::string text = BuildRequestText(r);
        Request back;
        std::string err;
        ASSERT_TRUE(ReadRequestText(text, back, err)) << err << "\n" << text;
        EXPECT_EQ(back.kind(), r.kind());
        EXPECT_EQ(back.head.ztident, r.head.ztident);
        EXPECT_EQ(back.head.user, r.head.user);
        EXPECT_EQ(back.head.zttime, r.head.zttime);
        // Reading and writing again gives the same bytes.
        EXPECT_EQ(BuildRequestText(back), text);
    }
}

TEST(ServerMessages, RequestFrameIsAsTheProgramWritesIt) {
    Request r{Head(), GetDocRequest{true, "3", "Doc", 0}};
    EXPECT_EQ(BuildRequestText(r), "<?xml version=\"1.0\" encoding=\"Latin1\" ?>\n"
                                   "<XML_ZETTRIX ZTIDENT=\"ZT: Wed Dec  9 01:33:48 2026\" VERSION=\"2\" "
                                   "ZTTIME=\"1765000000\">\n"
                                   "<Q_GETDOC VERSION=\"1\">\n"
                                   "<OPENDOCWRITE>ifwrite</OPENDOCWRITE>\n"
                                   "<USER>us&lt;e&gt;r&amp;</USER>\n"
                                   "<HAUTH>" + std::string(64, 'a') + "</HAUTH>\n"
                                   "<ALG>1</ALG>\n"
                                   "<DOC_IDENT>3</DOC_IDENT>\n"
                                   "<DOC_NAME>Doc</DOC_NAME>\n"
                                   "<DOC_TIME>0</DOC_TIME>\n"
                                   "</Q_GETDOC>\n"
                                   "</XML_ZETTRIX>");
}

TEST(ServerMessages, StrictReadingRefusesDeviations) {
    std::string good = BuildRequestText({Head(), SampleSave()});
    auto replace = [&](std::string from, std::string to) {
        std::string s = good;
        size_t p = s.find(from);
        EXPECT_NE(p, std::string::npos) << from;
        if (p != std::string::npos) s.replace(p, from.size(), to);
        return s;
    };
    std::string compr = std::to_string(CompressBuffer(std::string(3000, 'x')).size());
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"children swapped", replace("<DOC_NAME>Doc &quot;1&quot;</DOC_NAME>\n<DOC_IDENT>12</DOC_IDENT>",
                                     "<DOC_IDENT>12</DOC_IDENT>\n<DOC_NAME>Doc &quot;1&quot;</DOC_NAME>")},
        {"extra attribute", replace("<Q_SAVEDOC VERSION=\"1\">", "<Q_SAVEDOC VERSION=\"1\" X=\"y\">")},
        {"wrong version", replace("<Q_SAVEDOC VERSION=\"1\">", "<Q_SAVEDOC VERSION=\"2\">")},
        {"root version", replace("VERSION=\"2\" ZTTIME", "VERSION=\"3\" ZTTIME")},
        {"unknown element", replace("<DOC_TITLE>", "<DOC_XTITLE>x</DOC_XTITLE><DOC_TITLE>")},
        {"text between elements", replace("</DOC_TITLE>\n", "</DOC_TITLE>junk\n")},
        {"unknown ALG", replace("<ALG>1</ALG>", "<ALG>2</ALG>")},
        {"stated length", replace("<PAGE_LENGTH>3000</PAGE_LENGTH>", "<PAGE_LENGTH>3001</PAGE_LENGTH>")},
        {"compressed length", replace("<PAGE_LENGTH_COMPR>" + compr, "<PAGE_LENGTH_COMPR>1" + compr)},
        {"content not line code", replace("<PAGE_CONTENT VERSION=\"1\">", "<PAGE_CONTENT VERSION=\"1\">!!")},
        {"not ended", good.substr(0, good.size() - std::string("</XML_ZETTRIX>").size())},
        {"truncated", good.substr(0, good.size() / 2)},
        {"page type", replace("<PAGE_TYPE>RTF</PAGE_TYPE>", "<PAGE_TYPE>TXT</PAGE_TYPE>")},
        {"element inside a text", replace("<DOC_TITLE>Title", "<DOC_TITLE><B/>Title")},
        {"ZTTIME not a number", replace("ZTTIME=\"1765000000\"", "ZTTIME=\"soon\"")},
        {"two roots", good + "<XML_ZETTRIX/>"},
        {"unknown request", replace("Q_SAVEDOC VERSION=\"1\"", "Q_SAVEDOCS VERSION=\"1\"")},
    };
    for (const auto& c : cases) {
        Request r;
        std::string err;
        EXPECT_FALSE(ReadRequestText(c.text, r, err)) << c.what;
        EXPECT_FALSE(err.empty()) << c.what;
    }
    // The kind stays known even when the rest is refused, so that the refusal
    // goes into the right answer element.
    Request r;
    std::string err;
    ASSERT_FALSE(ReadRequestText(cases[0].text, r, err));
    EXPECT_EQ(r.kind(), Kind::SaveDoc);
}

TEST(ServerMessages, DamagedBuffersAreRefusedWithoutInflatingMore) {
    std::string ok = CompressBuffer("payload");
    std::string why;
    EXPECT_TRUE(CheckCompressed(ok, 7, int64_t(ok.size()), &why));
    EXPECT_TRUE(CheckCompressed("", 0, 0, &why));
    EXPECT_FALSE(CheckCompressed("", 1, 0, &why));
    // A stated length far beyond what the bytes can hold.
    std::string bomb = ok;
    bomb[0] = '\xff';
    bomb[1] = '\xff';
    bomb[2] = '\xff';
    bomb[3] = '\x7f';
    EXPECT_FALSE(CheckCompressed(bomb, 0x7fffffff, int64_t(bomb.size()), &why));
    std::string crc = ok;
    crc[5] ^= 1;
    EXPECT_FALSE(CheckCompressed(crc, 7, int64_t(crc.size()), &why));
}

TEST(ServerMessages, EnvelopeOpensOnTheServerWithTheShortPsk) {
    std::string user = "a<b&c";
    std::string text = BuildRequestText({Head(), GetContentRequest{}});
    std::string env = BuildEnvelope(text, "ZT: x", user, "pw");
    EXPECT_NE(env.find("<USER>a&lt;b&amp;c</USER>"), std::string::npos);
    EnvelopeParts parts;
    std::string err;
    ASSERT_TRUE(ReadRequestEnvelope(env, parts, err)) << err;
    EXPECT_EQ(parts.user, user);
    EXPECT_EQ(parts.ztident, "ZT: x");
    SecureBytes psk = ProtocolPskFromShort(parts.cadd, ProtocolPsk("", user, "pw"));
    EXPECT_TRUE(VerifyEnvelope(parts, user, psk));
    auto plain = OpenEnvelope(parts, psk);
    ASSERT_TRUE(plain);
    EXPECT_EQ(*plain, text);
    SecureBytes wrong = ProtocolPskFromShort(parts.cadd, ProtocolPsk("", user, "other"));
    EXPECT_FALSE(VerifyEnvelope(parts, user, wrong));
    EnvelopeParts tampered = parts;
    tampered.cipher[3] = tampered.cipher[3] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(VerifyEnvelope(tampered, user, psk));

    // Strict envelope reading.
    for (std::string bad : {env.substr(0, env.size() - 5), std::string("<CRYPTO/>"),
                            env.substr(0, env.find("<CADD>")) + env.substr(env.find("<CRAND>")),
                            std::string(env).insert(env.find("<MAC>"), "<MAC>AAAAAAAAAAAAAAAAAAAAAA==</MAC>")}) {
        EXPECT_FALSE(ReadRequestEnvelope(bad, parts, err)) << bad;
    }
}

TEST(ServerMessages, AnswersReadBackByTheProgram) {
    AnswerHead head{"ZT: x", 5};
    SecureBytes psk = ProtocolPskFromShort("cadd", ProtocolPsk("", "u", "pw"));
    auto roundTrip = [&](const std::string& text) {
        std::string env = BuildEnvelopeWithPsk(text, "ZT: x", "u", psk, "cadd", true);
        OpenedAnswer o;
        EXPECT_TRUE(OpenAnswer(env, "Zettrix: ZTXML2\r\n", "u", "pw", o)) << o.error;
        return o;
    };
    GetDocAnswer doc;
    doc.header = {"Doc", "3", 77, "T", "m", "c", 2, 3};
    doc.write = true;
    doc.nodes = {{"1", "A", 2, {{"2", "B", 0, {{"3", "C", 0, {}}}}}}, {"4", "D", 0, {}}};
    {
        auto o = roundTrip(BuildAnswerText(head, doc));
        GetDocAnswer back;
        ASSERT_TRUE(ReadGetDocAnswer(o.document, GetDocRequest{true, "3", "Doc", 0}, back).ok());
        EXPECT_TRUE(back.write);
        EXPECT_EQ(back.header.docTime, 77);
        ASSERT_EQ(back.nodes.size(), 2u);
        EXPECT_EQ(back.nodes[0].nfiles, 2);
        EXPECT_EQ(back.nodes[0].children[0].children[0].title, "C");
        // Another ident or name than requested is refused.
        EXPECT_FALSE(ReadGetDocAnswer(o.document, GetDocRequest{true, "4", "Doc", 0}, back).ok());
        EXPECT_FALSE(ReadGetDocAnswer(o.document, GetDocRequest{true, "3", "Other", 0}, back).ok());
    }
    {
        GetPageAnswer p;
        p.docName = "Doc";
        p.nodeIdent = "1";
        p.page.title = "A";
        p.page.time = 50;
        FileInfo small;
        small.name = "s";
        small.hasContent = true;
        small.content = CompressBuffer("s");
        FileInfo large;
        large.name = "l";
        large.lengthCompr = 99999;
        p.files = {small, large};
        auto o = roundTrip(BuildAnswerText(head, p));
        GetPageAnswer back;
        GetPageRequest req{"Doc", 1, "3", "1", 50};
        ASSERT_TRUE(ReadGetPageAnswer(o.document, req, back).ok());
        EXPECT_FALSE(back.page.hasContent);
        ASSERT_EQ(back.files.size(), 2u);
        EXPECT_EQ(back.files[0].content, small.content);
        EXPECT_EQ(back.files[1].lengthCompr, 99999);
        // Without PAGE_CONTENT an older copy cannot stay.
        req.pageTime = 49;
        EXPECT_FALSE(ReadGetPageAnswer(o.document, req, back).ok());
    }
    {
        AdminAnswer a;
        a.command = AdminCommand::ChgDocPre;
        a.docName = "Doc";
        a.docIdent = "3";
        a.docUsers = {{"u", kGrantGrant}};
        a.allUsers = {"u", "v"};
        auto o = roundTrip(BuildAnswerText(head, a));
        AdminRequest sent;
        sent.command = AdminCommand::ChgDocPre;
        sent.docName = "Doc";
        sent.docIdent = "3";
        AdminAnswer back;
        ASSERT_TRUE(ReadAdminAnswer(o.document, sent, back).ok());
        EXPECT_EQ(back.docUsers, a.docUsers);
        EXPECT_EQ(back.allUsers, a.allUsers);
        sent.docIdent = "4"; // USERDOC of another document
        EXPECT_FALSE(ReadAdminAnswer(o.document, sent, back).ok());
        sent.docIdent = "3";
        sent.command = AdminCommand::DocDel;
        EXPECT_FALSE(ReadAdminAnswer(o.document, sent, back).ok());
    }
    {
        auto o = roundTrip(BuildErrorAnswerText(head, Kind::SaveDoc, {kErrLocked, "busy"}));
        SaveDocAnswer back;
        auto res = ReadSaveDocAnswer(o.document, SaveDocRequest{}, back);
        EXPECT_EQ(res.code, AnswerResult::ServerError);
        EXPECT_EQ(res.errnum, kErrLocked);
        EXPECT_EQ(res.text, "busy");
    }
    // An unsealed refusal, a missing marker, and an answer without CRYPTO.
    OpenedAnswer o;
    EXPECT_FALSE(OpenAnswer(BuildErrorEnvelope("ZT: x", 10, "no"), "Zettrix: ZTXML2\r\n", "u", "pw", o));
    EXPECT_EQ(o.errnum, 10);
    std::string text = BuildAnswerText(head, doc);
    EXPECT_FALSE(OpenAnswer(BuildEnvelopeWithPsk(text, "x", "u", psk, "cadd", true), "", "u", "pw", o));
    EXPECT_FALSE(OpenAnswer(text, "Zettrix: ZTXML2\r\n", "u", "pw", o));
    EXPECT_TRUE(OpenAnswer(text, "Zettrix: ZTXML2\r\n", "u", "pw", o, true));
}

TEST(ServerMessages, RightAndLevelTexts) {
    EXPECT_EQ(RightFromText("grant"), kGrant);
    EXPECT_EQ(RightFromText("GrantGrant"), kGrantGrant);
    EXPECT_EQ(RightFromText("whatever"), kRead);
    EXPECT_FALSE(RightFromTextStrict("whatever"));
    EXPECT_EQ(LevelFromText("usergrant"), 4);
    EXPECT_EQ(LevelFromText(""), 1);
    EXPECT_EQ(CtimeText(0, true), "Thu Jan  1 00:00:00 1970");
}

} // namespace
