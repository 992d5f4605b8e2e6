#include "messages.h"

#include <array>

namespace zt {

namespace {

struct Entry {
    Msg id;
    const char* text;
};

constexpr Entry kTable[] = {
    {Msg::UnknownFormatVersion,
     "Dieses Dokument hat eine unbekannte Formatversion.\nBitte verwenden Sie die neueste Programmversion."},
    {Msg::FileDamaged, "Datei ist zerstört. Unleserlich."},
    {Msg::DocumentEncrypted, "Das Dokument ist verschlüsselt."},
    {Msg::UnknownArchiveException, "Unknown Archive Exception!"},
    {Msg::UnknownArchiveError, "Unknown Archive Error!"},
    {Msg::DamagedRecord, "Datei ist zerstört. Unleserlich.\n%s"},
    {Msg::ContentFilesMissing,
     "Die Inhalte folgender angehängter Dateien fehlen im Dokumentverzeichnis:\n%s\n"
     "Die Einträge bleiben erhalten, bis die Dateien wieder vorhanden sind oder gelöscht werden."},
    {Msg::DeletingContents, "Deleting contents..."},
    {Msg::ErrorReadingData, "Fehler beim Lesen der Daten."},
    {Msg::ErrorsCollectingSaveAnyway, "Es sind Fehler beim Sammeln der Daten aufgetreten. Trotzdem Speichern?"},
    {Msg::SaveFailed, "Das Dokument konnte nicht gespeichert werden:\n%s\n%s"},
    {Msg::OpenFailed, "Das Dokument konnte nicht geöffnet werden:\n%s\n%s"},
    {Msg::FileNotFound, "Datei nicht gefunden:\n%s"},
    {Msg::FileExists, "Die Datei existiert bereits:\n%s"},
    {Msg::PageInsertFailed, "Die Seite konnte nicht eingefügt werden."},
    {Msg::TextSaveFailed, "Der Seitentext konnte nicht gespeichert werden."},
    {Msg::TextNotConvertible, "Der Seitentext konnte nicht umgewandelt werden."},
    {Msg::FileWriteFailed, "Die Datei konnte nicht geschrieben werden:\n%s"},
    {Msg::AddressOpenFailed, "Die Adresse\n%s\nkonnte nicht geöffnet werden."},
    {Msg::FileAttachFailed, "Die Datei konnte nicht angehängt werden."},
    {Msg::NewEntryTitle, "Neuer Eintrag"},
    {Msg::EmptyName, "Der gewählte Name ist leer."},
    {Msg::ConfirmDeletePage, "Soll die Seite wirklich gelöscht werden ?"},
    {Msg::ConfirmDeleteSubtree, "Soll der gesamte Unterbaum wirklich gelöscht werden ?\nSind Sie sicher ?"},
    {Msg::CannotMoveIntoOwnSubtree, "Eine Seite kann nicht in ihren eigenen Unterbaum verschoben werden."},
    {Msg::CopyOf, "Copy of "},
    {Msg::PageNotFound, "Seite\n%s\nnicht gefunden."},
    {Msg::AttachedFileNotFound, "Datei '%s' nicht gefunden."},
    {Msg::NoValidArchiveName, "No valid archive name."},
    {Msg::NoArchivePageName, "No archive page name."},
    {Msg::ScriptFileNotFound, "File not found '%s'"},
    {Msg::ScriptPageNotFound, "Page not found '%s'"},
    {Msg::FunctionFailed, "Die Funktion '%s' lieferte einen Fehler zurück."},
    {Msg::ConfirmRemoveHistory, "Soll die History gelöscht werden?"},
    {Msg::ConfirmForgetRevision,
     "Soll der Hinweis auf die Version '%s' wirklich gelöscht werden?\nDie Aktion ist nicht rückgängig zu machen!"},
    {Msg::RevisionDamaged, "Die Version %s ist beschädigt: %s."},
    {Msg::RevisionNotFound, "Die Version %s gibt es in diesem Dokument nicht."},
    {Msg::NoRandomSource,
     "Der Zufallszahlengenerator des Betriebssystems steht nicht zur Verfügung. Der Vorgang wurde abgebrochen."},
    {Msg::KeyMacBad, "KeyMAC Bad: Key is corrupt"},
    {Msg::DataMacBad, "Data MAC Bad: Data is corrupt"},
    {Msg::CredentialsTitle, "Zettrix: Username und Passwortabfrage"},
    {Msg::CredentialsTitleFor, "Zettrix Name/Passwort: %s"},
    {Msg::CredentialsIncomplete, "Bitte geben Sie einen Nutzernamen und das Passwort ein."},
    {Msg::AlreadyEncrypted, "Das Dokument ist bereits verschlüsselt."},
    {Msg::NotEncrypted, "Das Dokument ist nicht verschlüsselt."},
    {Msg::CredentialsRefused,
     "Die Name / Passwort Kombination konnte nicht geändert werden.\n"
     "Prüfen Sie die bisherige Kombination und ob der neue Name schon vorhanden ist."},
    {Msg::Untitled, "Unbenannt"},
    {Msg::SaveChangesQuestion, "Änderungen in %s speichern?"},
    {Msg::ConfirmDeleteSelectedPages, "Wollen Sie wirklich alle ausgewählten Seiten löschen ?"},
    {Msg::MultipleSelectionConflict,
     "Es sind Seiten sowohl als Unterbaum als auch als Seiten für sich selber ausgewählt.\n"
     "Sollen diese Seiten wirklich doppelt verschoben/kopiert werden ?"},
    {Msg::BytesCompressed, "%s Bytes (komprimiert %s Bytes)"},
    {Msg::Unknown, "<unbekannt>"},
    {Msg::RevisionWriteFailed, "Failed to write revision."},
    {Msg::TimeoutExceeded, "Timeout exceeded"},
    {Msg::UnregisterWhileRunning, "Please exit all running Zettrix Applications before Unregister."},
    {Msg::ImportingFiles, "Importiere Dateien..."},
    {Msg::ExportingFiles, "Exportiere Dateien..."},
    {Msg::FileLoadError, "Fehler beim Laden der Datei:\n%s"},
    {Msg::RereadChangedFile, "Soll die veränderte Datei wieder eingelesen werden ?"},
    {Msg::NameInUse, "Der Name wird bereits verwendet."},
    {Msg::ConfirmDeleteFiles, "Sind Sie sicher, die Datei(en) zu löschen ?"},
    {Msg::NewFileName, "Neue Datei"},
    {Msg::FileLooksBinary, "Die Datei\n%s\nscheint in einem Binär-Format zu sein.\nTrotzdem öffnen ?"},
    {Msg::InsertingTextFiles, "Exportiere Textdatei(en) in den Text. Bitte warten."},
    {Msg::InsertingPictures, "Exportiere Bilder in den Text"},
    {Msg::ProgramStartFailed, "Das Programm konnte nicht gestartet werden:\n%s"},
    {Msg::PageSaveError, "Error occured while saving page\n"},
    {Msg::PageLoadError, "Error Loading Page"},
    {Msg::SavingPage, "Speichere Seite. Bitte warten."},
    {Msg::LoadingPage, "Lade Seite. Bitte warten."},
    {Msg::TabValueRange, "Der Wert muß zwischen %s und %s liegen."},
    {Msg::ImportingText, "Importiere Text. Bitte warten."},
    {Msg::ImportingPictures, "Importiere Bilder. Bitte warten."},
    {Msg::PictureInsertFailed, "Das Bild %s konnte nicht eingefügt werden."},
    {Msg::TextFileReadFailed, "Die Datei %s konnte nicht gelesen werden."},
    {Msg::DocumentOpenedReadOnly,
     "Das Dokument %s ist schreibgeschützt und wurde nur zum Lesen geöffnet. Änderungen lassen sich mit "
     "\"Speichern unter\" in eine andere Datei sichern."},
    {Msg::ReadOnlyMark, "schreibgeschützt"},
    {Msg::ReasonNotADocument, "Die Datei ist kein Zettrix-Dokument."},
    {Msg::ReasonTruncated, "Die Datei endet vorzeitig: sie ist abgeschnitten oder beschädigt."},
    {Msg::ReasonEncryptedPartDamaged, "Der verschlüsselte Teil der Datei ist beschädigt."},
    // Document server
    {Msg::SrvAuthFailed, "Anmeldung fehlgeschlagen: Benutzer oder Passwort falsch."},
    {Msg::SrvNoSuchDocument, "Das Dokument existiert nicht."},
    {Msg::SrvNoSuchPage, "Die Seite existiert nicht."},
    {Msg::SrvNoSuchFile, "Die Datei existiert nicht."},
    {Msg::SrvNoSuchUser, "Der Benutzer %s existiert nicht."},
    {Msg::SrvNoRight, "Keine Berechtigung."},
    {Msg::SrvLevelTooLow, "Keine Berechtigung für diese Verwaltungsfunktion."},
    {Msg::SrvLocked, "Das Dokument ist von einem anderen Benutzer zum Schreiben geöffnet."},
    {Msg::SrvStaleDocTime, "Das Dokument wurde inzwischen geändert. Bitte neu laden."},
    {Msg::SrvUnchanged, "Das Dokument ist unverändert."},
    {Msg::SrvMalformed, "Fehlerhafte Anfrage: %s"},
    {Msg::SrvNameTaken, "Der Name %s ist bereits vergeben."},
    {Msg::SrvTooLarge, "Die Anfrage ist zu groß."},
    {Msg::SrvInternal, "Interner Serverfehler."},
    {Msg::SrvUserAdded, "Benutzer %s angelegt."},
    {Msg::SrvUserDeleted, "Benutzer %s gelöscht."},
    {Msg::SrvPasswordChanged, "Passwort von %s geändert."},
    {Msg::SrvPasswordPrompt, "Passwort: "},
    {Msg::SrvPasswordMismatch, "Die Passwörter stimmen nicht überein."},
    // key sources: key files and certificates
    {Msg::KeyFileNotPfx,
     "Die PKCS#12 Datei konnte nicht initialisiert werden.\nBitte geben Sie eine andere PKCS#12 Datei an."},
    {Msg::KeyFileWrongPassword, "Das Passwort war falsch.\nBitte versuchen Sie es noch einmal."},
    {Msg::KeyFileNoCertificate,
     "Das Zertifikat konnte nicht geladen werden.\nWählen Sie bitte ein anderes Zertifikat aus."},
    {Msg::Pkcs11DriverUnusable,
     "Der PKCS#11 Treiber '%s' konnte nicht initialisiert werden.\nBitte geben Sie einen anderen PKCS#11 Treiber an."},
    {Msg::NoTokenChosen, "Es wurde kein gültiger Token ausgewählt.\nBitte versuchen Sie es erneut."},
    // search and replace
    {Msg::SearchPageChanged, "Die Seite wurde verändert, auch in der Fundliste.\nSoll die Seite neu durchsucht werden ?\n"
                             "Wenn nicht, dann wird die Seite von der Fundliste entfernt."},
    {Msg::SearchingPage, "Durchsuche Seite %d von %d"},
    {Msg::SearchCounters, "Seiten: %3d, Titel: %3d, Textstellen: %4d, Dateien: %3d, Gesamt: %4d"},
    {Msg::ReplacingText, "Ersetze Text. Bitte warten."},
    {Msg::ReplacingHit, "Ersetze #%d von %d"},
    {Msg::HitDeleted, "[gelöscht]"},
    {Msg::TextNotFound, "Text nicht gefunden."},
    // directory and zip import and export
    {Msg::ExportMainDirFailed, "Fehler beim Erzeugen des Hauptverzeichnisses\n%s"},
    {Msg::ExportDirFailed, "Fehler beim Erzeugen des Verzeichnisses\n%s"},
    {Msg::ExportUnnamed, "Unbenannt"},
    {Msg::ZipOpenFailed, "Öffnen mit externem Handler"},
    {Msg::ZipCloseFailed, "Fehler beim Schließen des ZIP Archivs !"},
    {Msg::ZipCommentCut, "Kommentar beschnitten\n%s"},
    {Msg::ZipTooManyMembers, "Das ZIP Archiv %s hätte mehr als 65534 Einträge und wird nicht bearbeitet."},
    {Msg::ZipNeedsZip64, "Das ZIP Archiv %s braucht das Zip64-Format (über 4 GB oder über 65534 Einträge), das nicht unterstützt wird."},
    {Msg::ZipDamaged, "Das ZIP Archiv %s ist beschädigt oder unvollständig (%s)."},
    {Msg::ZipUnsafeName, "Das ZIP Archiv enthält den unzulässigen Namen\n%s\nEs wurde nichts importiert."},
    {Msg::ExportCancelled, "Der Export wurde abgebrochen. Das bisher Geschriebene ist als unvollständig gekennzeichnet:\n%s"},
    {Msg::ExportIncompleteSuffix, " (unvollständig)"},
    {Msg::ImportCancelled, "Der Import wurde abgebrochen; das Dokument ist unverändert."},
    {Msg::ImportFailedUnchanged, "Der Import ist fehlgeschlagen; das Dokument ist unverändert."},
    {Msg::BinaryAsPageQuestion, "Die Datei\n%s\nscheint in einem Binär-Format zu sein.\nTrotzdem als Seite öffnen (Ja)\noder als Datei aufnehmen (Nein)?"},
    {Msg::ExportUnsafePath, "Der Pfad %s verlässt das Zielverzeichnis oder führt über eine symbolische Verknüpfung; er wird nicht geschrieben."},
    {Msg::NoFolderChosen, "Sie müssen zuerst einen Ordner auswählen."},
    {Msg::NoFileNameChosen, "Sie müssen zuerst einen Dateinamen auswählen."},
    {Msg::ConvertSpecialDirectory, "Das ZT-Verzeichnis wird in ein normales Zettrix Dokument umgewandelt!"},
    // file layer and ztd
    {Msg::ErrNoSpace, "Kein Speicherplatz mehr auf dem Gerät"},
    {Msg::ErrAccess, "Zugriff verweigert"},
    {Msg::ErrNotFound, "Datei oder Verzeichnis nicht gefunden"},
    {Msg::ErrReadOnly, "Das Dateisystem ist nur lesbar"},
    {Msg::ErrIsDirectory, "Ist ein Verzeichnis"},
    {Msg::ErrNotDirectory, "Ein Teil des Pfades ist kein Verzeichnis"},
    {Msg::ErrNotRegular, "Keine reguläre Datei (Gerät, FIFO oder Socket)"},
    {Msg::ErrTooLarge, "Die Datei ist zu groß (mehr als %s Bytes)"},
    {Msg::OutOfMemory, "Nicht genügend Arbeitsspeicher."},
    {Msg::ErrIo, "Ein-/Ausgabefehler"},
    {Msg::ErrQuota, "Das Speicherkontingent ist erschöpft"},
    {Msg::ErrExists, "Die Datei existiert bereits"},
    {Msg::ErrNameTooLong, "Der Dateiname ist zu lang"},
    {Msg::ErrLinkLoop, "Zu viele Ebenen symbolischer Verknüpfungen"},
    {Msg::ErrBrokenPipe, "Der Empfänger hat die Ausgabe geschlossen"},
    {Msg::ErrBusy, "Die Datei ist belegt"},
    {Msg::ErrOther, "Systemfehler %s (%s)"},
    {Msg::OutputWriteFailed, "Die Ausgabe konnte nicht geschrieben werden: %s"},
    {Msg::FileWriteFailedWhy, "Die Datei %s konnte nicht geschrieben werden: %s"},
    {Msg::HeaderForged, "Die Kopfdaten des verschlüsselten Dokuments wurden außerhalb des Programms verändert; es gelten die geschützten Werte."},
    {Msg::UnknownCommand, "ztd: unbekannter Befehl '%s'"},
    {Msg::UnknownOption, "ztd: unbekannte Option '%s' für '%s'"},
    {Msg::OptionNeedsValue, "ztd: die Option '%s' braucht einen Wert"},
    {Msg::CredentialsHint, "Das Dokument ist verschlüsselt. Zugangsdaten mit --name NAME angeben, das Passwort in der Umgebungsvariablen ZT_PASSWORD oder am Terminal."},
    {Msg::ChildrenMoveUp, "%s Unterseiten rücken eine Ebene höher"},
    {Msg::ChildMovesUp, "1 Unterseite rückt eine Ebene höher"},
    {Msg::WrongCredentials, "Das Dokument ist verschlüsselt; Name oder Passwort sind falsch."},
    // reminders and mail
    {Msg::RepeatNone, "keine"},
    {Msg::RepeatMinute, "jede Minute"},
    {Msg::Repeat2Minutes, "alle 2 Minuten"},
    {Msg::Repeat5Minutes, "alle 5 Minuten"},
    {Msg::Repeat10Minutes, "alle 10 Minuten"},
    {Msg::Repeat15Minutes, "alle 15 Minuten"},
    {Msg::Repeat30Minutes, "alle 30 Minuten"},
    {Msg::RepeatHour, "jede Stunde"},
    {Msg::Repeat2Hours, "alle 2 Stunden"},
    {Msg::RepeatDay, "jeden Tag"},
    {Msg::RepeatWeek, "jede Woche"},
    {Msg::RepeatMonth, "jeden Monat"},
    {Msg::ReminderTimeFormat, "%H:%M Uhr am %a. den %d. %b. %Y"},
    {Msg::ReminderPast, "Der Termin ist schon vergangen."},
    {Msg::ReminderMovedToEditor,
     "Der Termin ist zum Bearbeiten verschoben worden.\nBitte führen Sie 'Neu' nach dem Bearbeiten aus."},
    {Msg::ReminderConfirmDelete, "Sollen diese Termine gelöscht werden ?"},
    {Msg::ReminderConfirmDeactivate, "Sollen diese Termine deaktiviert werden ?"},
    {Msg::ReminderConfirmActivate, "Sollen diese Termine aktiviert werden ?"},
    {Msg::ReminderTakeNew, "Neuen Termin übernehmen ?"},
    {Msg::ReminderCloseWarning,
     "Dieses Dokument enthält Termine.\nBeim Schließen des Dokumentes erhalten Sie keine Nachricht über diese "
     "Termine.\nWollen Sie dieses Dokument wirklich schließen ?"},
    {Msg::NotificationTitle, "Benachrichtigung - Zettrix"},
    {Msg::OldNotificationTitle, "Alte Benachrichtigung - Zettrix"},
    {Msg::ReminderMailBody,
     "Text siehe Anlage.\nDie Anlage ist ein Zettrix-Dokument; Zettrix gibt es frei unter "
     "https://zettrix.org zum Herunterladen.\n"},
    {Msg::ReminderMailApproval,
     "Dieses Dokument enthält Termine mit E-Mail-Versand, die nicht von Ihnen angelegt wurden.\n"
     "Solche Termine senden Seiten des Dokumentes an die eingetragenen Adressen.\n"
     "Sollen diese Termine E-Mails senden dürfen ?"},
    {Msg::ReminderMailFailed,
     "Die E-Mail zum Termin '%s' konnte nicht gesendet werden:\n%s\nDer Termin bleibt fällig und wird in 5 "
     "Minuten erneut gesendet."},
    {Msg::MailServerCredentials, "E-Mail-Server %s"},
    {Msg::MailNotConfigured, "Es ist kein E-Mail-Server eingestellt."},
    {Msg::MailAuthFailed, "Der E-Mail-Server hat die Anmeldung abgelehnt."},
    {Msg::MailAttachFailed, "Die Anlage konnte nicht geschrieben werden."},
    {Msg::ReminderNotFound, "Seite '%s' nicht gefunden."},
    {Msg::ReminderBadTime, "Ungültige Zeit '%s' (erwartet: JJJJ-MM-TT HH:MM)."},
    {Msg::ReminderBadRepeat, "Unbekannte Wiederholung '%s'."},
    {Msg::Yes, "Ja"},
    {Msg::No, "Nein"},
    // text files and the HTML site
    {Msg::ConverterMissing, "Für dieses Format wird LibreOffice gebraucht (der Befehl \"soffice\" im Suchpfad PATH); es wurde nicht gefunden."},
    {Msg::ConverterFailed, "Die Datei\n%s\nkonnte mit LibreOffice nicht umgewandelt werden:\n%s"},
    {Msg::ConverterTimedOut, "LibreOffice hat nach %s Sekunden nicht geantwortet und wurde beendet."},
    {Msg::ConverterNoOutput, "LibreOffice hat keine Datei erzeugt."},
    {Msg::ConverterStartFailed, "LibreOffice konnte nicht gestartet werden: %s"},
    {Msg::ConverterCancelled, "Die Umwandlung wurde abgebrochen."},
    {Msg::ConvertingFile, "Wandle %s mit LibreOffice um.  Bitte warten."},
    {Msg::SavingFileWait, "Speichere Datei.  Bitte warten."},
    {Msg::TextFileTooLarge, "Die Datei\n%s\nist zu groß, um als Seite geöffnet zu werden (mehr als %s MB)."},
    {Msg::HtmlWriteError, "Error writing HTML file\n%s"},
    {Msg::HtmlExportDone, "HTML-Export nach %s geschrieben."},
    {Msg::CommandFailed, "Befehl fehlgeschlagen."},
    {Msg::PrintSheetNumber, "Seite %d"},
    {Msg::PrintMarginsNoRoom, "Die Druckränder lassen auf dem Papier keinen Platz für den Text."},
    {Msg::PrintNothingToPrint, "Es gibt keine Seite zu drucken."},
    // reminders: the mail settings of the options sheet
    {Msg::MailPasswordNotKept,
     "Das Passwort konnte nicht im Schlüsselbund gespeichert werden; es wird beim Senden erfragt."},
    // key sources in the program: key file choice, certificate choice, tokens
    {Msg::KeySourceMissing, "Es wurde kein gültiger Token angegeben.\nBitte treffen Sie eine andere Auswahl."},
    {Msg::KeySourceNoTokens,
     "Es gibt keine gültigen Token an der bezeichneten Stelle.\nBitte treffen Sie eine andere Auswahl."},
    {Msg::CertificateNoSelection, "Sie haben noch keine Auswahl getroffen.\nBitte treffen Sie eine Auswahl."},
    {Msg::CertificateNameUndecodable,
     "Der Zertifikatsinhabername hat einen Kodierungsfehler.\nDer Name kann daher nicht dargestellt werden."},
    {Msg::KeyFileMissing, "Die Datei läßt sich nicht öffnen.\nBitte wählen Sie eine existente Schlüsseldatei."},
    {Msg::Pkcs11NotLoadable, "Das Modul lässt sich nicht laden: %s"},
    {Msg::Pkcs11NoFunctions,
     "Die Datei ist kein PKCS#11 Modul: sie enthält weder C_GetFunctionList noch alle nötigen PKCS#11 Funktionen."},
    {Msg::Pkcs11InitFailed, "C_Initialize meldet den Fehler 0x%s."},
    {Msg::Pkcs11TimedOut,
     "Der PKCS#11 Treiber '%s' hat nicht innerhalb von %s Sekunden geantwortet und wird nicht weiter verwendet.\n"
     "Bitte geben Sie einen anderen PKCS#11 Treiber an."},
    {Msg::Pkcs11PinLocked, "Die PIN des Tokens ist gesperrt."},
    {Msg::Pkcs11Waiting, "Warte auf den PKCS#11 Treiber '%s' ..."},
    {Msg::EncryptionChanged, "Die Verschlüsselung wurde geändert; sie gilt ab dem nächsten Speichern."},
    {Msg::EncryptionRemoved, "Die Verschlüsselung wurde entfernt; das Dokument wird beim nächsten Speichern unverschlüsselt geschrieben."},
    {Msg::EncryptionCreated, "Das Dokument wird ab dem nächsten Speichern verschlüsselt."},
    {Msg::RemoteXmlDataError, "XML Data Error"},
    {Msg::RemoteXmlDataErrorServer, "XML Data Error:\n%s"},
    {Msg::RemoteNoData, "Keine Daten empfangen"},
    {Msg::RemoteAliveXmlDataError, "Alive: XML Data Error"},
    {Msg::RemoteAliveXmlDataErrorServer, "Alive: XML Data Error:\n%s"},
    {Msg::RemoteAliveNoData, "Alive: Keine Daten empfangen"},
    {Msg::RemoteStillAlive, "Still Alive"},
    {Msg::RemoteOpenForWriteFailed, "Konnte Dokument nicht zum Schreiben öffnen!"},
    {Msg::RemoteServerError, "Server Error:\n%s"},
    {Msg::RemoteSendError, "SendRequestError (unknown): %s"},
    {Msg::RemoteCertMissing,
     "Das Server-Zertifikat zum Aufbau der SSL Verbindung wurde nicht gefunden.\nDie Verbindung kann unsicher "
     "sein!\n\nSoll die Verbindung abgebrochen werden?"},
    {Msg::RemoteCertUnknown,
     "Das Server-Zertifikat ist unbekannt.\nBitte entscheiden Sie, ob das Server-Zertifikat korrekt ist."},
    {Msg::RemoteCertTitle, "Server SSL-Zertifikat"},
    {Msg::RemoteCertTrust, "Vertrauen"},
    {Msg::RemoteCertRefuse, "Ablehnen"},
    {Msg::RemoteCertView, "Ansehen"},
    {Msg::RemoteLoadTitle, "Inhalt laden"},
    {Msg::RemoteCancel, "Abbrechen"},
    {Msg::RemoteLockLost,
     "Die Schreibsperre des Dokuments auf dem Server ist verloren.\nDas Dokument kann nur noch gelesen werden; "
     "ungespeicherte Änderungen können mit \"Speichern unter\" in eine Datei gesichert werden."},
    {Msg::RemotePageFetchFailed, "Die Seite konnte nicht vom Server gelesen werden:\n%s"},
    {Msg::RemoteReadOnly, "Das Serverdokument ist nur zum Lesen geöffnet."},
    {Msg::RemoteConnectTitle, "Verbinden mit Zettrix Web Server..."},
    {Msg::RemoteServerLabel, "Zettrix Web &Server"},
    {Msg::RemoteUserLabel, "&Benutzername"},
    {Msg::RemotePasswordLabel, "&Passwort"},
    {Msg::RemoteSslLabel, "&Verschlüsselte Verbindung (SSL)"},
    {Msg::RemoteChooseTitle, "Dokument auswählen"},
    {Msg::RemoteDocListLabel, "&Dokumentenliste"},
    {Msg::RemoteReadWriteLabel, "Lesen und &Schreiben"},
    {Msg::RemoteNewButton, "&Neu"},
    {Msg::RemoteDeleteButton, "&Löschen"},
    {Msg::RemoteChangeDocButton, "&Dok. Ändern"},
    {Msg::RemoteChangePwdButton, "&Pass. Ändern"},
    {Msg::RemoteOkButton, "&OK"},
    {Msg::RemoteCancelButton, "&Abbrechen"},
    {Msg::RemoteOtherProtocol,
     "Andere Protokolle als 'http' werden nicht unterstützt.\nDas Protokoll wird 'http' sein."},
    {Msg::RemoteDisconnectTitle, "Trennen"},
    {Msg::RemoteDisconnectText, "Trenne Schreibverbindung..."},
    {Msg::RemoteNoSuchDocument, "Das Dokument '%s' gibt es auf dem Server nicht."},
    {Msg::RemoteConnected, "Verbunden"},
    {Msg::RemoteDisconnected, "Getrennt   "},
    {Msg::ScriptRunTimedOut, "Das Script wurde nach %s Sekunden angehalten."},
    {Msg::ScriptRunBadTimeout, "Ungültige Zeitgrenze '%s' (erwartet: Sekunden größer als 0)."},
    {Msg::ScriptRunUnreadable, "Das Script '%s' kann nicht gelesen werden."},
};

constexpr auto BuildIndex() {
    std::array<const char*, size_t(Msg::Count_)> index{};
    for (const auto& e : kTable) index[size_t(e.id)] = e.text;
    return index;
}

constexpr auto kIndex = BuildIndex();
static_assert(std::size(kTable) == size_t(Msg::Count_), "every message needs a text");

} // namespace

const char* MessageText(Msg id) {
    size_t i = size_t(id);
    return i < kIndex.size() && kIndex[i] ? kIndex[i] : "";
}

std::string FormatText(std::string_view pattern, const std::vector<std::string>& args) {
    std::string out;
    size_t next = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd')) {
            if (next < args.size()) out += args[next];
            ++next;
            ++i;
        } else {
            out += pattern[i];
        }
    }
    return out;
}

std::string FormatMessage(Msg id, const std::vector<std::string>& args) {
    return FormatText(MessageText(id), args);
}

} // namespace zt
