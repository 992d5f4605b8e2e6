// What an import changed, so that a failed or cancelled import can be taken
// back whole: pages made (every page of an ident from the first new one on),
// files added to pages that were there before, texts replaced, change marks
// and the document's modified state.
#pragma once

#include "core/docmodel.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

class CZTDocument;
class CZTPageNode;

namespace zt {

class ImportJournal {
public:
    explicit ImportJournal(CZTDocument& doc);
    // Call before a page that existed before the import changes.
    void PageChanging(const CZTPageNode* page);
    void FileAdded(const CZTPageNode* page, const std::string& name);
    bool IsNew(const CZTPageNode* page) const;
    // Takes every change back.
    void Rollback();

private:
    CZTDocument& doc_;
    int32_t firstNew_;
    bool wasModified_;
    std::vector<std::pair<int32_t, CZTPageRecord>> texts_;
    std::vector<std::pair<int32_t, int>> marks_;
    std::vector<std::pair<int32_t, std::string>> files_;
};

struct ImportOutcome;
class Prompter;
class ExchangeProgress;

// Reads an archive into `into` (the journal records the changes); false when
// the archive cannot be read or is refused, the user told why. Sets
// `cancelled` when the progress asked to stop.
bool ImportZipInto(CZTDocument& doc, const std::string& archive, CZTPageNode* into, Prompter& prompter,
                   ImportJournal& journal, ImportOutcome& outcome, ExchangeProgress* progress, bool& cancelled);

// Ends an import: a failed or cancelled one is taken back and the user told.
void FinishImport(ImportJournal& journal, ImportOutcome& outcome, bool ok, bool cancelled, Prompter& prompter);

} // namespace zt
