// Format properties of lists, styles and hidden text, beyond the ones of
// rtfdocument.h. They sit in a range of their own so that both sets can grow.
#pragma once

#include <QTextFormat>

namespace zt::textqt {

enum ListStyleProperty : int {
    // list: int, the level (\ilvl, 0 to 8) the list's items stand at.
    kListLevelProperty = QTextFormat::UserProperty + 64,
    // list: int, the list override (\ls N) the items came from; lists with
    // the same number are the levels of one list definition.
    kListOverrideProperty,
    // list: int, which insertion into the document (pasted text) the list
    // came with; absent for lists of the loaded text. Overrides of different
    // insertions are different lists even when their numbers are equal.
    kListInsertionProperty,
    // list: int, the number of the first item (\levelstartat); 1 when absent.
    // Qt numbers from 1 on screen; the value goes back into the written RTF.
    kListStartProperty,
    // block: int, the paragraph style (\s N).
    kParaStyleProperty,
    // char: int, the character style (\cs N).
    kCharStyleProperty,
    // char: QString, hidden text (\v) that stood right before this character.
    kHiddenBeforeProperty,
    // char: QString, hidden text that stood right after this character, at
    // the end of its paragraph.
    kHiddenAfterProperty,
    // block: QString, hidden text of a paragraph without visible text.
    kHiddenBlockProperty,
    // block: double, layout units; the first-line indent of a list item.
    // Qt draws the item's number left of where its first line starts, so a
    // list item keeps a first-line indent of 0 on screen (the number sits in
    // the hanging room, the text lines up) and its own indent here.
    kListHangProperty,
};

} // namespace zt::textqt
