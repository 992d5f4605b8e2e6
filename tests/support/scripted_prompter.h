// A Prompter for tests: records every message and question and answers from a
// queue (or a default when the queue is empty).
#pragma once

#include "base/prompter.h"

#include <deque>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace zt::test {

class ScriptedPrompter : public Prompter {
public:
    std::vector<std::string> messages;
    std::vector<std::string> questions;
    std::vector<std::string> statuses;
    std::deque<bool> answers;
    bool defaultAnswer = false;

    void Message(std::string_view text, Icon) override { messages.emplace_back(text); }
    bool AskYesNo(std::string_view text) override {
        questions.emplace_back(text);
        if (answers.empty()) return defaultAnswer;
        bool a = answers.front();
        answers.pop_front();
        return a;
    }
    void Status(std::string_view text) override { statuses.emplace_back(text); }

    // Credential answers (name, password) in order; nullopt or an empty queue
    // cancels. Every question is recorded.
    std::deque<std::optional<std::pair<std::string, std::string>>> credentials;
    std::vector<CredentialsQuestion> credentialQuestions;
    bool AskCredentials(const CredentialsQuestion& q, std::string& name, std::string& password) override {
        credentialQuestions.push_back(q);
        if (credentials.empty()) return false;
        auto answer = std::move(credentials.front());
        credentials.pop_front();
        if (!answer) return false;
        name = answer->first;
        password = answer->second;
        return true;
    }
};

} // namespace zt::test
