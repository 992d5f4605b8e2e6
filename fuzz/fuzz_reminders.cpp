// The reader of stored reminders (the kind 4 ext item of a page or document):
// whatever the bytes, it reads whole records or nothing, and what it read
// writes back to the same bytes.
#include "reminders/reminder.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<zt::CZTReminder> out;
    const std::string_view in(reinterpret_cast<const char*>(data), size);
    if (!zt::DecodeReminders(in, 1, out)) {
        if (!out.empty()) std::abort();
        return 0;
    }
    std::vector<const zt::CZTReminder*> all;
    for (const auto& r : out) {
        if (r.text.size() > 60 || r.address.size() > 63 || r.recipient.size() > 63) std::abort();
        all.push_back(&r);
        (void)zt::NextOccurrence(r, 1800000000);
    }
    std::vector<zt::CZTReminder> again;
    if (!zt::DecodeReminders(zt::EncodeReminders(all), 1, again) || again.size() != out.size()) std::abort();
    return 0;
}
