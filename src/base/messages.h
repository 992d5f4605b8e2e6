// The table of user-visible texts. Every message the program shows comes from
// here, so that a text is written once and reused by the GUI, ztd and tests.
// Texts are UTF-8; "%s" and "%d" are filled with FormatMessage.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zt {

enum class Msg {
    // document file
    UnknownFormatVersion,   // code 1
    FileDamaged,            // code 2
    DocumentEncrypted,      // code 3
    UnknownArchiveException,
    UnknownArchiveError,
    DamagedRecord,          // "%s": what could not be read
    ContentFilesMissing,    // "%s": the list of missing content files
    // content store and saving
    DeletingContents,
    ErrorReadingData,
    ErrorsCollectingSaveAnyway,
    SaveFailed,             // "%s": file, "%s": reason
    OpenFailed,             // "%s": file, "%s": reason
    FileNotFound,           // "%s"
    FileExists,             // "%s"
    PageInsertFailed,
    TextSaveFailed,
    TextNotConvertible,     // the page text could not be turned into text or HTML
    FileWriteFailed,        // "%s": file
    AddressOpenFailed,      // "%s": the address
    FileAttachFailed,
    // page tree
    NewEntryTitle,
    EmptyName,
    ConfirmDeletePage,
    ConfirmDeleteSubtree,
    CannotMoveIntoOwnSubtree,
    CopyOf,                 // "Copy of "
    // links
    PageNotFound,           // "%s"
    AttachedFileNotFound,   // "%s": the file name
    NoValidArchiveName,
    NoArchivePageName,
    ScriptFileNotFound,     // "%s"
    ScriptPageNotFound,     // "%s"
    // version history
    FunctionFailed,         // "%s": the function that failed
    ConfirmRemoveHistory,
    ConfirmForgetRevision,  // "%s": the revision label
    RevisionDamaged,        // "%s": the revision label, "%s": what is wrong
    RevisionNotFound,       // "%s": the revision asked for
    // system
    NoRandomSource,
    // encryption
    KeyMacBad,              // a key block did not open (wrong password or damaged block)
    DataMacBad,             // the tag at the end of encrypted content does not match
    CredentialsTitle,       // the credentials prompt without a document name
    CredentialsTitleFor,    // "%s": the document name
    CredentialsIncomplete,
    AlreadyEncrypted,
    NotEncrypted,
    CredentialsRefused,     // a name could not be changed, added or removed
    // desktop program
    Untitled,               // title of a document never saved
    SaveChangesQuestion,    // "%s": document title
    ConfirmDeleteSelectedPages,
    MultipleSelectionConflict,
    BytesCompressed,        // "%s": bytes, "%s": compressed bytes
    Unknown,
    RevisionWriteFailed,
    TimeoutExceeded,
    UnregisterWhileRunning,
    // attached files
    ImportingFiles,
    ExportingFiles,
    FileLoadError,          // "%s": path
    RereadChangedFile,
    NameInUse,
    ConfirmDeleteFiles,
    NewFileName,
    FileLooksBinary,        // "%s": file name
    InsertingTextFiles,
    InsertingPictures,
    ProgramStartFailed,     // "%s": program
    // text view
    PageSaveError,
    PageLoadError,
    SavingPage,
    LoadingPage,
    TabValueRange,          // "%s", "%s": the bounds in the ruler unit
    ImportingText,
    ImportingPictures,
    PictureInsertFailed,    // "%s": file
    TextFileReadFailed,     // "%s": file
    // desktop program: opening and state
    DocumentOpenedReadOnly, // "%s": file
    ReadOnlyMark,
    ReasonNotADocument,
    ReasonTruncated,
    ReasonEncryptedPartDamaged,
    // Document server (zettrix-server): the texts of its ERROR_MSG answers
    // and of its administration commands.
    SrvAuthFailed,
    SrvNoSuchDocument,
    SrvNoSuchPage,
    SrvNoSuchFile,
    SrvNoSuchUser,          // "%s": user
    SrvNoRight,
    SrvLevelTooLow,
    SrvLocked,
    SrvStaleDocTime,
    SrvUnchanged,
    SrvMalformed,           // "%s": what was wrong
    SrvNameTaken,           // "%s": name
    SrvTooLarge,
    SrvInternal,
    SrvUserAdded,           // "%s": user
    SrvUserDeleted,         // "%s": user
    SrvPasswordChanged,     // "%s": user
    SrvPasswordPrompt,
    SrvPasswordMismatch,
    // key sources: key files and certificates
    KeyFileNotPfx,
    KeyFileWrongPassword,
    KeyFileNoCertificate,
    Pkcs11DriverUnusable, // "%s": driver path
    NoTokenChosen,
    // search and replace
    SearchPageChanged,      // the re-search question after a page with removed rows changed
    SearchingPage,          // "%d" of "%d": page number in the walk, pages to visit
    SearchCounters,         // printf form: pages, titles, texts, files, rows
    ReplacingText,
    ReplacingHit,           // "%d" of "%d"
    HitDeleted,             // replacement cell of a deleted hit
    TextNotFound,
    // directory and zip import and export
    ExportMainDirFailed,    // "%s": path
    ExportDirFailed,        // "%s": path
    ExportUnnamed,          // name of a document without a file name
    ZipOpenFailed,
    ZipCloseFailed,
    ZipCommentCut,          // "%s": entry name
    ZipTooManyMembers,      // "%s": archive
    ZipNeedsZip64,          // "%s": archive
    ZipDamaged,             // "%s": archive, "%s": what is wrong
    ZipUnsafeName,          // "%s": member name
    ExportCancelled,        // "%s": what was written
    ExportIncompleteSuffix,
    ImportCancelled,
    ImportFailedUnchanged,
    BinaryAsPageQuestion,   // "%s": file
    ExportUnsafePath,       // "%s": path
    NoFolderChosen,
    NoFileNameChosen,
    ConvertSpecialDirectory,
    // file layer (reads, atomic writes, system reasons) and ztd
    ErrNoSpace,
    ErrAccess,
    ErrNotFound,
    ErrReadOnly,
    ErrIsDirectory,
    ErrNotDirectory,
    ErrNotRegular,
    ErrTooLarge,            // "%s": the limit in bytes
    OutOfMemory,
    ErrIo,
    ErrQuota,
    ErrExists,
    ErrNameTooLong,
    ErrLinkLoop,
    ErrBrokenPipe,
    ErrBusy,
    ErrOther,               // "%s": number, "%s": the system's text
    OutputWriteFailed,      // "%s": reason
    FileWriteFailedWhy,     // "%s": file, "%s": reason
    HeaderForged,
    UnknownCommand,         // "%s": command
    UnknownOption,          // "%s": option, "%s": command
    OptionNeedsValue,       // "%s": option
    CredentialsHint,
    ChildrenMoveUp,         // "%s": count
    ChildMovesUp,
    WrongCredentials,
    // reminders and mail
    RepeatNone,
    RepeatMinute,
    Repeat2Minutes,
    Repeat5Minutes,
    Repeat10Minutes,
    Repeat15Minutes,
    Repeat30Minutes,
    RepeatHour,
    Repeat2Hours,
    RepeatDay,
    RepeatWeek,
    RepeatMonth,
    ReminderTimeFormat,     // strftime pattern of reminder times
    ReminderPast,
    ReminderMovedToEditor,
    ReminderConfirmDelete,
    ReminderConfirmDeactivate,
    ReminderConfirmActivate,
    ReminderTakeNew,
    ReminderCloseWarning,
    NotificationTitle,
    OldNotificationTitle,
    ReminderMailBody,
    ReminderMailApproval,
    ReminderMailFailed,     // "%s": reminder text, "%s": reason
    MailServerCredentials,  // "%s": server
    MailNotConfigured,
    MailAuthFailed,
    MailAttachFailed,
    ReminderNotFound,       // "%s": page path
    ReminderBadTime,        // "%s": the text given
    ReminderBadRepeat,      // "%s": the text given
    Yes,
    No,
    // text files and the HTML site
    ConverterMissing,
    ConverterFailed,        // "%s": file, "%s": reason
    ConverterTimedOut,      // "%s": seconds
    ConverterNoOutput,
    ConverterStartFailed,   // "%s": reason
    ConverterCancelled,
    ConvertingFile,         // "%s": file
    SavingFileWait,
    TextFileTooLarge,       // "%s": file, "%s": megabytes
    HtmlWriteError,         // "%s": file
    HtmlExportDone,         // "%s": site directory
    // printing
    CommandFailed,
    PrintSheetNumber,       // "%d": the sheet number
    PrintMarginsNoRoom,
    PrintNothingToPrint,
    // reminders: the mail settings of the options sheet
    MailPasswordNotKept,
    // key sources in the program: key file choice, certificate choice, tokens
    KeySourceMissing,       // no key source behind the certificate choice
    KeySourceNoTokens,
    CertificateNoSelection,
    CertificateNameUndecodable,
    KeyFileMissing,
    Pkcs11NotLoadable,      // "%s": the loader's reason
    Pkcs11NoFunctions,
    Pkcs11InitFailed,       // "%s": the return value in hex
    Pkcs11TimedOut,         // "%s": driver path, "%s": seconds
    Pkcs11PinLocked,
    Pkcs11Waiting,          // "%s": driver path
    EncryptionChanged,
    EncryptionRemoved,
    EncryptionCreated,
    // server link (client side)
    RemoteXmlDataError,
    RemoteXmlDataErrorServer, // "%s": the server's text
    RemoteNoData,
    RemoteAliveXmlDataError,
    RemoteAliveXmlDataErrorServer, // "%s": the server's text
    RemoteAliveNoData,
    RemoteStillAlive,
    RemoteOpenForWriteFailed,
    RemoteServerError,        // "%s": the status line
    RemoteSendError,          // "%s": the transport's reason
    RemoteCertMissing,
    RemoteCertUnknown,
    RemoteCertTitle,
    RemoteCertTrust,
    RemoteCertRefuse,
    RemoteCertView,
    RemoteLoadTitle,
    RemoteCancel,
    RemoteLockLost,
    RemotePageFetchFailed,    // "%s": the reason
    RemoteReadOnly,
    RemoteConnectTitle,
    RemoteServerLabel,
    RemoteUserLabel,
    RemotePasswordLabel,
    RemoteSslLabel,
    RemoteChooseTitle,
    RemoteDocListLabel,
    RemoteReadWriteLabel,
    RemoteNewButton,
    RemoteDeleteButton,
    RemoteChangeDocButton,
    RemoteChangePwdButton,
    RemoteOkButton,
    RemoteCancelButton,
    RemoteOtherProtocol,
    RemoteDisconnectTitle,
    RemoteDisconnectText,
    RemoteNoSuchDocument,     // "%s": name
    RemoteConnected,
    RemoteDisconnected,
    // the server session: addresses, passwords, the document dialogs
    RemoteBadAddress,         // "%s": the address
    RemoteNoPassword,
    RemoteDocInfoReadFailed,
    RemoteDocInfoChangeFailed,
    RemotePasswordChangeFailed,
    RemoteOldPasswordWrong,
    RemoteNewPasswordMismatch,
    RemoteNewPasswordEmpty,
    RemoteNewPasswordShort,
    RemoteDocNameEmpty,
    RemoteDeleteDocTitle,
    RemoteDeleteDocPrompt,
    RemoteChangeDocTitle,
    RemoteChangeDocPrompt,
    RemoteNewDocTitle,
    RemoteNewDocLabel,
    RemoteDocPropsTitle,
    RemoteDocNameLabel,
    RemoteDocUsersLabel,
    RemoteAllUsersLabel,
    RemoteReadAccess,
    RemoteWriteAccess,
    RemoteGrantAccess,
    RemoteGrantGrantAccess,
    RemotePasswordTitle,
    RemoteOldPasswordLabel,
    RemoteNewPasswordLabel,
    RemoteRepeatPasswordLabel,
    // drag and drop questions
    DropDialogTitle,
    DropMoveTitle,
    DropCopyTitle,
    DropPageAs,
    DropAsChildPage,
    DropAsNeighbourPage,
    DropAsFile,
    DropFilesOnTreeAs,
    DropAsChildPages,
    DropAsNeighbourPages,
    DropAsFilesInList,
    DropWithTextImport,
    DropQuestionTitle,
    DropBinaryFiles,
    DropBinaryAll,
    DropBinaryEach,
    DropBinaryNone,
    DropBinaryAllAsFiles,
    DropOnFilesAs,
    DropAsDocument,
    DropAsTextContent,
    DropFormatRtf,
    DropFormatText,
    DropWholeSubtree,
    DropWithTitles,
    DropCancel,
    // ztd run
    ScriptRunTimedOut,        // "%s": seconds
    ScriptRunBadTimeout,      // "%s": the value given
    ScriptRunUnreadable,      // "%s": file
    // scripts started from links
    ScriptLinkQuestion,       // "%s": the script's address
    Count_
};

// The UTF-8 text of a message.
const char* MessageText(Msg id);

// The text with each "%s" or "%d" replaced by the next argument in order.
std::string FormatMessage(Msg id, const std::vector<std::string>& args = {});
std::string FormatText(std::string_view pattern, const std::vector<std::string>& args);

} // namespace zt
