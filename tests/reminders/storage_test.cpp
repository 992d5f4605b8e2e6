// Reminders in the document: the stored layout, every document form, a due
// reminder on opening, and the permission for other users' mail reminders.
#include "core/document.h"
#include "core/extbytes.h"
#include "core/pagepaths.h"
#include "core/serializer.h"
#include "reminders/reminderstore.h"
#include "support/scripted_prompter.h"
#include "support/tempdir.h"

#include <gtest/gtest.h>

namespace zt {
namespace {

int64_t T(const char* local) {
    int64_t t = 0;
    EXPECT_TRUE(ParseReminderTime(local, t)) << local;
    return t;
}

int32_t Int(std::string_view d, size_t at) {
    uint32_t u = 0;
    for (int i = 0; i < 4; ++i) u |= uint32_t(uint8_t(d[at + size_t(i)])) << (8 * i);
    return int32_t(u);
}

// Pages A, A/B and C.
struct Fixture {
    test::ScriptedPrompter prompter;
    CZTDocument doc{prompter};
    CZTPageNode* a;
    CZTPageNode* b;
    CZTPageNode* c;
    Fixture() {
        doc.New();
        a = doc.AddPage(nullptr, "A");
        b = doc.AddPage(a, "B");
        c = doc.AddPage(nullptr, "C");
    }
};

CZTReminder Make(int64_t time, int32_t page, const char* text, int repeat = 0, int32_t flags = kReminderActive) {
    CZTReminder r;
    r.time = time;
    r.page = page;
    r.text = text;
    r.repeat = repeat;
    r.flags = flags;
    return r;
}

const int64_t kNow = 1800000000; // 2027-01-15 09:00 in Berlin

TEST(ReminderStorage, RecordLayoutIsByteExact) {
    CZTReminder r = Make(kNow + 120, 3, "", 11, kReminderActive | kReminderMail | kReminderSubtree);
    r.text = std::string(70, 'x');      // cut to 60
    r.address = std::string(80, 'a');   // cut to 63
    r.recipient = "Bob";
    const std::string data = EncodeReminders({&r});
    ASSERT_EQ(data.size(), 12u + 272u);
    EXPECT_EQ(Int(data, 0), 1);
    EXPECT_EQ(Int(data, 4), 0);
    EXPECT_EQ(Int(data, 8), 1);
    EXPECT_EQ(Int(data, 12), 1);
    EXPECT_EQ(Int(data, 16), 0x13);
    EXPECT_EQ(Int(data, 20), 11);
    EXPECT_EQ(Int(data, 24), int32_t(kNow + 120));
    EXPECT_EQ(data.substr(28, 60), std::string(60, 'x'));
    EXPECT_EQ(data[12 + 76], '\0');
    EXPECT_EQ(data.substr(12 + 77, 63), std::string(63, 'a'));
    EXPECT_EQ(data[12 + 140], '\0');
    EXPECT_EQ(data.substr(12 + 141, 4), std::string("Bob\0", 4));
    EXPECT_EQ(data.substr(12 + 205), std::string(67, '\0'));

    std::vector<CZTReminder> back;
    ASSERT_TRUE(DecodeReminders(data, 7, back));
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].page, 7);
    EXPECT_EQ(back[0].text, std::string(60, 'x'));
    EXPECT_EQ(back[0].recipient, "Bob");
}

TEST(ReminderStorage, MalformedPropertiesAreIgnored) {
    CZTReminder r = Make(kNow, 0, "t");
    const std::string good = EncodeReminders({&r});
    std::string badVersion = good;
    badVersion[0] = 2;
    std::string badCount = good;
    badCount[8] = 2;
    for (const std::string& bad : {std::string("\1\0\0\0", 4), badVersion, badCount, good.substr(0, good.size() - 1),
                                   std::string(12, '\0') + "x"}) {
        std::vector<CZTReminder> out;
        EXPECT_FALSE(DecodeReminders(bad, 0, out));
        EXPECT_TRUE(out.empty());
    }
}

enum class Form { Plain, Revision, Encrypted };

class ReminderForms : public testing::TestWithParam<Form> {};

TEST_P(ReminderForms, SurviveSaveAndReopen) {
    test::TempDir dir;
    const std::string path = dir / "r.ztd";
    {
        Fixture f;
        CZTReminderList list;
        list.Add(Make(T("2027-02-01 08:00"), f.b->Ident(), "auf B", 9));
        CZTReminder mail = Make(T("2027-02-02 08:00"), f.c->Ident(), "an Bob", 0,
                                kReminderActive | kReminderMail | kReminderAttach);
        mail.address = "bob@example.org";
        mail.recipient = "Bob";
        list.Add(mail);
        list.Add(Make(T("2027-03-01 12:00"), 0, "allgemein", 11));
        list.Add(Make(T("2027-02-03 08:00"), 99, "Seite weg")); // page not in the tree
        list.Add(Make(kNow - 60, 0, "vorbei"));                 // finished: not stored
        EXPECT_TRUE(StoreReminders(f.doc, list, kNow));
        EXPECT_TRUE(f.doc.IsModified());
        EXPECT_EQ(list.Size(), 4u);
        std::string_view data;
        ASSERT_TRUE(f.doc.Archive().GetExtItem(-1, kExtReminders, data));
        EXPECT_EQ(Int(data, 8), 2); // the general one and the one of the lost page
        EXPECT_FALSE(f.doc.Archive().GetExtItem(f.a->Ident(), kExtReminders, data));
        switch (GetParam()) {
        case Form::Plain: {
            CZTArchive::CopyOptions o;
            o.keepHeader = true;
            ASSERT_TRUE(f.doc.Archive().SaveCopy(path, f.doc.Tree().BuildPageList(), o));
            break;
        }
        case Form::Encrypted:
            ASSERT_TRUE(f.doc.Archive().KeyRing().CreateEncryption(CredentialsFromUtf8("Alice", "pw")));
            [[fallthrough]];
        case Form::Revision:
            ASSERT_TRUE(f.doc.Save(path));
            break;
        }
        // Storing again without a change changes nothing.
        EXPECT_FALSE(StoreReminders(f.doc, list, kNow));
    }
    std::string bytes, error;
    ASSERT_TRUE(ReadDocumentBytes(path, bytes, &error));
    const DocumentForm expected = GetParam() == Form::Plain      ? DocumentForm::Plain
                                  : GetParam() == Form::Revision ? DocumentForm::Revision
                                                                 : DocumentForm::Encrypted;
    EXPECT_EQ(DetectForm(bytes), expected);

    Fixture g;
    g.prompter.credentials.push_back(std::make_pair(std::string("Alice"), std::string("pw")));
    ASSERT_TRUE(g.doc.Open(path));
    CZTReminderList list;
    LoadReminders(g.doc, list);
    ASSERT_EQ(list.Size(), 4u);
    const auto& items = list.Items();
    EXPECT_EQ(items[0].text, "auf B");
    EXPECT_EQ(ReminderPagePath(g.doc, items[0].page), "/A/B");
    EXPECT_EQ(items[0].repeat, 9);
    EXPECT_EQ(items[0].time, T("2027-02-01 08:00"));
    EXPECT_EQ(items[1].text, "an Bob");
    EXPECT_EQ(ReminderPagePath(g.doc, items[1].page), "/C");
    EXPECT_EQ(items[1].flags, kReminderActive | kReminderMail | kReminderAttach);
    EXPECT_EQ(items[1].address, "bob@example.org");
    EXPECT_EQ(items[1].recipient, "Bob");
    EXPECT_EQ(items[2].text, "Seite weg");
    EXPECT_EQ(items[2].page, 0);
    EXPECT_EQ(items[3].text, "allgemein");
    EXPECT_EQ(items[3].repeat, 11);
}

INSTANTIATE_TEST_SUITE_P(Forms, ReminderForms, testing::Values(Form::Plain, Form::Revision, Form::Encrypted));

TEST(ReminderStorage, OpenAllOffDropsEveryReminder) {
    Fixture f;
    CZTReminderList list;
    list.Add(Make(kNow + 600, f.a->Ident(), "a"));
    list.Add(Make(kNow + 600, 0, "d"));
    StoreReminders(f.doc, list, kNow);
    CZTReminderList read;
    CZTReminderOptions options;
    options.openAll = false;
    LoadReminders(f.doc, read, options);
    EXPECT_TRUE(read.Empty());
    std::string_view data;
    EXPECT_FALSE(f.doc.Archive().GetExtItem(-1, kExtReminders, data));
    EXPECT_FALSE(f.doc.Archive().GetExtItem(f.a->Ident(), kExtReminders, data));
}

TEST(ReminderStorage, ADueReminderOnOpenFiresOnce) {
    test::TempDir dir;
    const std::string path = dir / "due.ztd";
    {
        Fixture f;
        CZTReminderList list;
        list.Add(Make(kNow + 60, f.a->Ident(), "einmal"));
        list.Add(Make(kNow + 120, f.c->Ident(), "täglich", 9));
        StoreReminders(f.doc, list, kNow);
        ASSERT_TRUE(f.doc.Save(path));
    }
    // Opened a day later: both are overdue and reported as old once.
    const int64_t later = kNow + 86400;
    Fixture g;
    ASSERT_TRUE(g.doc.Open(path));
    CZTReminderList list;
    LoadReminders(g.doc, list);
    const auto old = list.Due(later);
    ASSERT_EQ(old.size(), 2u);
    const auto arming = list.Arm(later);
    EXPECT_TRUE(list.Due(later).empty());
    ASSERT_EQ(list.Size(), 1u);
    EXPECT_EQ(list.Items()[0].time, kNow + 120 + 86400);
    EXPECT_EQ(arming.kind, CZTReminderList::Arming::Reminder);
    EXPECT_EQ(arming.delay, 120);
}

TEST(ReminderStorage, PartialWritesSetRemindersAside) {
    Fixture f;
    CZTReminderList list;
    list.Add(Make(kNow + 600, f.a->Ident(), "a"));
    list.Add(Make(kNow + 600, 0, "d"));
    StoreReminders(f.doc, list, kNow);
    const std::string docExt = f.doc.Archive().Core().docExt;
    std::string_view data;
    {
        CZTReminderOptions o; // defaults: page reminders go along, general ones not
        CZTPartialReminderGuard guard(f.doc, o);
        EXPECT_FALSE(f.doc.Archive().GetExtItem(-1, kExtReminders, data));
        EXPECT_TRUE(f.doc.Archive().GetExtItem(f.a->Ident(), kExtReminders, data));
    }
    {
        CZTReminderOptions o;
        o.expPage = false;
        o.expRoot = true;
        CZTPartialReminderGuard guard(f.doc, o);
        EXPECT_TRUE(f.doc.Archive().GetExtItem(-1, kExtReminders, data));
        EXPECT_FALSE(f.doc.Archive().GetExtItem(f.a->Ident(), kExtReminders, data));
    }
    EXPECT_EQ(f.doc.Archive().Core().docExt, docExt);
    EXPECT_TRUE(f.doc.Archive().GetExtItem(f.a->Ident(), kExtReminders, data));
}

// Mail reminders written under one user's key, opened by another user.
class MailApproval : public testing::Test {
protected:
    test::TempDir dir;
    std::string path = dir / "m.ztd";
    CZTApproval alice{std::string(32, 'A'), "alice"};
    CZTApproval bob{std::string(32, 'B'), "bob"};

    void Write(const CZTApproval& author) {
        Fixture f;
        CZTReminderList list;
        CZTReminder r = Make(kNow + 600, f.c->Ident(), "raus", 0, kReminderActive | kReminderMail | kReminderAttach);
        r.address = "evil@example.org";
        list.Add(r);
        list.Add(Make(kNow + 700, f.a->Ident(), "ohne Mail"));
        StoreReminders(f.doc, list, kNow, &author);
        ASSERT_TRUE(f.doc.Save(path));
    }
    // Opens as `user`; returns whether the mail reminder may send.
    bool Open(const CZTApproval& user, std::deque<bool> answers, size_t expectedQuestions, bool save = true) {
        Fixture f;
        f.prompter.answers = std::move(answers);
        EXPECT_TRUE(f.doc.Open(path));
        CZTReminderList list;
        LoadReminders(f.doc, list);
        ApproveMailReminders(f.doc, list, user, f.prompter);
        EXPECT_EQ(f.prompter.questions.size(), expectedQuestions);
        if (save) {
            StoreReminders(f.doc, list, kNow, &user);
            EXPECT_TRUE(f.doc.Save(path));
        }
        for (const auto& r : list.Items())
            if (r.Mail()) return r.mayMail;
        ADD_FAILURE() << "no mail reminder";
        return false;
    }
};

TEST_F(MailApproval, OwnRemindersAreNotQuestioned) {
    Write(alice);
    EXPECT_TRUE(Open(alice, {}, 0));
}

TEST_F(MailApproval, AnotherUsersAnswerIsAskedOnceAndKept) {
    Write(alice);
    EXPECT_FALSE(Open(bob, {false}, 1));
    EXPECT_FALSE(Open(bob, {true}, 0)); // the refusal is kept for bob
    EXPECT_TRUE(Open(alice, {}, 0));    // alice's own permission still holds
}

TEST_F(MailApproval, AllowingIsKeptToo) {
    Write(alice);
    EXPECT_TRUE(Open(bob, {true}, 1));
    EXPECT_TRUE(Open(bob, {false}, 0));
}

TEST_F(MailApproval, UnsavedAnswerIsAskedAgainAndForgedTagsDoNotCount) {
    Write(alice);
    EXPECT_FALSE(Open(bob, {false}, 1, false));
    // Carol's key does not know alice's or bob's tags.
    CZTApproval carol{std::string(32, 'C'), "bob"};
    EXPECT_FALSE(Open(carol, {false}, 1, false));
    // Without a key nothing can be kept: asked every time.
    CZTApproval none{"", "bob"};
    EXPECT_TRUE(Open(none, {true}, 1, false));
}

TEST_F(MailApproval, ChangingTheTargetAsksAgain) {
    Write(alice);
    EXPECT_TRUE(Open(bob, {true}, 1));
    {
        Fixture f;
        ASSERT_TRUE(f.doc.Open(path));
        CZTReminderList list;
        LoadReminders(f.doc, list);
        for (auto& r : list.Items())
            if (r.Mail()) r.address = "other@example.org"; // changed behind bob's back
        StoreReminders(f.doc, list, kNow);
        ASSERT_TRUE(f.doc.Save(path));
    }
    EXPECT_FALSE(Open(bob, {false}, 1));
}

} // namespace
} // namespace zt
