// The program's commands: identifier, menu text, status-bar prompt, key and
// button caption. The menus, bars and the tray menu are built from this table,
// and every command is reached through its identifier.
#pragma once

#include <vector>

namespace zt::ui {

enum Command : int {
    // file
    ID_FILE_NEW = 57600,
    ID_FILE_OPEN = 57601,
    ID_FILE_SAVE = 57603,
    ID_FILE_SAVE_AS = 57604,
    ID_FILE_PRINT_SETUP = 57606,
    ID_FILE_PRINT = 57607,
    ID_FILE_PRINT_PREVIEW = 57609,
    // printing (printui.cpp)
    ID_PAGE_PRINT = 32812,
    ID_PAGE_PREVIEW = 32810,
    ID_PRINT_AFTER_PREVIEW = 32904,
    ID_FILE_PRINT_PDF = 33021,
    ID_FILE_MRU_FILE1 = 57616,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
    ID_NEXT_PANE = 57680,
    ID_CONNECT = 32808,
    ID_RELOAD = 32809,
    ID_ENCRYPTION = 32947,
    ID_NEW_INSTANCE = 32940,
    ID_HISTORY = 32948,
    ID_REMINDERS = 32951,
    ID_REMOVE_HISTORY = 32949,
    ID_IMPORT_DIRECTORY = 32834,
    ID_IMPORT_ZIP = 32846,
    ID_EXPORT_TEXT = 32778,
    ID_EXPORT_DIRECTORY = 32828,
    // directory and zip exchange
    ID_EXPORT_DIRECTORY_PAGES = 32833,
    ID_EXPORT_SPECIAL_DIRECTORY = 32854,
    ID_IMPORT_DIRECTORY_PAGES = 32835,
    ID_IMPORT_ZIP_PAGES = 32845,
    ID_IMPORT_ZTD_PAGES = 32855,
    // HTML site and text files
    ID_EXPORT_HTML = 32893,
    ID_IMPORT_TEXT_PAGES = 32849,
    ID_EXPORT_TEXT_PAGES = 32850,
    ID_DOC_PROPERTIES = 32853,
    ID_ARCHIVES = 32945,
    // edit
    ID_EDIT_UNDO = 57643,
    ID_EDIT_CUT = 57635,
    ID_EDIT_COPY = 57634,
    ID_EDIT_PASTE = 57637,
    ID_EDIT_SELECT_ALL = 57642,
    ID_EDIT_FIND = 57636,
    ID_EDIT_REPEAT = 57640,
    ID_EDIT_REPLACE = 57641,
    ID_SEARCH_REPLACE = 32934,
    ID_INSERT_DATETIME = 32779,
    ID_WRAP_PRINTER = 32782,
    ID_WRAP_WINDOW = 32783,
    ID_WRAP_NONE = 32789,
    ID_CHAR_BOLD = 32769,
    ID_CHAR_ITALIC = 32770,
    ID_CHAR_UNDERLINE = 32771,
    ID_PARA_LEFT = 32776,
    ID_PARA_CENTER = 32773,
    ID_PARA_RIGHT = 32774,
    ID_INDENT_LESS = 32914,
    ID_INDENT_MORE = 32856,
    ID_BULLET = 32777,
    ID_FONT_TAKE_DEFAULT = 32886,
    ID_FONT_USE_DEFAULT = 32890,
    ID_CHAR_STRIKEOUT = 32888,
    ID_CHAR_SUPERSCRIPT = 32891,
    ID_CHAR_SUBSCRIPT = 32892,
    ID_TEXT_COLOUR = 32872,
    ID_TEXT_COLOUR_OFF = 32895,
    ID_TEXT_BACKGROUND = 32871,
    ID_TEXT_BACKGROUND_OFF = 32896,
    ID_UPPER_CASE = 32917,
    ID_LOWER_CASE = 32918,
    ID_IMPORT_TEXT = 32838,
    ID_IMPORT_PICTURES = 32941,
    // tree
    ID_TREE_INSERT_NEIGHBOUR = 32800,
    ID_TREE_INSERT_CHILD = 32802,
    ID_TREE_NEW_MEMO = 32898,
    ID_TREE_DELETE_PAGE = 32803,
    ID_TREE_DELETE_SUBTREE = 32804,
    ID_TREE_COPY_PAGE = 32805,
    ID_TREE_COPY_SUBTREE = 32806,
    ID_TREE_SORT = 32899,
    ID_TREE_SORT_CONTEXT = 32844,
    ID_TREE_LEFT = 32900,
    ID_TREE_RIGHT = 32901,
    ID_TREE_UP = 32902,
    ID_TREE_DOWN = 32903,
    ID_TREE_MULTIPLE = 32932,
    ID_TREE_ENTRY_STYLE = 32905,
    ID_TREE_EXPAND_SIBLINGS = 32930,
    ID_TREE_COLLAPSE_SIBLINGS = 32929,
    ID_TREE_EXPAND_ALL = 32939,
    ID_TREE_BACKGROUND = 32912,
    ID_PAGE_PROPERTIES = 32847,
    ID_VIEW_TREE = 32927,
    // navigation
    ID_NAV_BACK = 32861,
    ID_NAV_FORWARD = 32862,
    ID_NAV_PARENT = 32863,
    ID_NAV_CHILD = 32865,
    ID_NAV_PREV_PAGE = 32866,
    ID_NAV_NEXT_PAGE = 32867,
    ID_FOLLOW_LINK = 32859,
    ID_PAGE_BACKGROUND = 32946,
    // files
    ID_FILES_NEW = 32897,
    ID_FILES_SELECT_ALL = 32842,
    ID_FILES_IMPORT = 32843,
    ID_FILES_EXPORT = 32841,
    ID_FILES_INSERT_TEXT = 32943,
    ID_FILES_INSERT_PICTURE = 32942,
    ID_FILES_OPEN = 32840,
    ID_FILES_RENAME = 32935,
    ID_FILES_DELETE = 32839,
    ID_FILES_PROPERTIES = 32848,
    ID_FILES_BACKGROUND = 32913,
    ID_VIEW_FILES = 32928,
    // settings, help
    ID_OPTIONS = 32919,
    ID_HELP = 32807,
    // page bar
    ID_SELECT_PAGE = 32922,
    ID_SELECT_FILE = 32923,
    // tray
    ID_TRAY_SHOW = 32907,
    ID_TRAY_HIDE = 32910,
    ID_TRAY_SAVE = 32908,
    ID_TRAY_EXIT = 32909,
};

struct CommandInfo {
    int id;
    const char* menuText; // with "&" for the mnemonic; "&&" is a plain "&"
    const char* prompt;   // status-bar prompt; after "\n" the tool tip
    const char* key;      // QKeySequence portable text, may be empty
    const char* caption;  // button caption when buttons carry captions
};

// Every command of the program.
const std::vector<CommandInfo>& AllCommands();
// The entry of `id`, or null.
const CommandInfo* FindCommand(int id);

} // namespace zt::ui
