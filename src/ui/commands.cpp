#include "ui/commands.h"

#include <algorithm>

namespace zt::ui {

namespace {

const std::vector<CommandInfo> kCommands = {
    // "Datei"
    {ID_FILE_NEW, "&Neu", "Erstellt ein neues Dokument.\nNeu", "Ctrl+N", "Neu"},
    {ID_FILE_OPEN, "Ö&ffnen...", "Öffnet ein bestehendes Dokument.\nÖffnen", "Ctrl+O", "Öffnen"},
    {ID_CONNECT, "&Verbinden...", "Verbindet mit einem Zettrix Server.\nVerbinden", "", ""},
    {ID_ENCRYPTION, "Ver- und &Entschlüsseln", "Ver- und Entschlüsseln des Dokuments.\nVerschlüsseln", "", ""},
    {ID_FILE_SAVE, "S&peichern", "Speichert das aktive Dokument.\nSpeichern", "Ctrl+S", "Sichern"},
    {ID_FILE_SAVE_AS, "Speichern &unter...", "Speichert das aktive Dokument unter neuem Namen.\nSpeichern unter", "",
     ""},
    {ID_NEW_INSTANCE, "Neue Zettri&x Instanz", "Öffnet eine neue Zettrix Instanz.", "", ""},
    {ID_HISTORY, "&History", "Auswahl und ansehen der &History", "", ""},
    {ID_REMINDERS, "&Termine...", "Termine bearbeiten.\nTermine", "", ""},
    {ID_REMOVE_HISTORY, "Entfernen der History", "Vollständiges entfernen der History", "", ""},
    {ID_IMPORT_DIRECTORY, "&Verzeichnis...", "Verzeichnis als aktuelles Dokument importieren.\nVerzeichnis importieren",
     "", ""},
    {ID_IMPORT_ZIP, "&Zipdatei...", "Zipdatei als aktuelles Dokument importieren.\nZipdatei importieren", "", ""},
    {ID_EXPORT_TEXT, "als &Text...", "Aktuelles Dokument als Text exportieren.\nText exportieren", "", ""},
    {ID_EXPORT_DIRECTORY, "als &Verzeichnis...",
     "Aktuelles Dokument als Verzeichnis exportieren.\nVerzeichnis exportieren", "", ""},
    {ID_FILE_PRINT, "&Drucken...", "Druckt das aktive Dokument.\nDrucken", "Ctrl+P", "Drucken"},
    {ID_FILE_PRINT_PREVIEW, "Seiten&ansicht", "Zeigt ganze Seiten an.\nSeitenansicht", "", ""},
    {ID_FILE_PRINT_SETUP, "Druckereinrichtung...", "Ändert die Druckeroptionen.\nDruckereinrichtung", "", ""},
    {ID_DOC_PROPERTIES, "Ei&genschaften...", "Eigenschaften des aktuellen Dokuments anzeigen.", "", ""},
    {ID_FILE_MRU_FILE1, "Zuletzt geöffnete Datei", "Öffnet dieses Dokument.", "", ""},
    {ID_ARCHIVES, "&weitere...", "weitere Zettrix Archive.", "", ""},
    {ID_APP_EXIT, "&Beenden", "Beendet die Anwendung; fordert zum Speichern der Dokumente auf.\nBeenden", "", ""},
    // "Baum"
    {ID_TREE_NEW_MEMO, "&Neue Seite", "Neue Seite einfügen.\nNeue Seite", "F4", "Neue Seite"},
    {ID_TREE_INSERT_NEIGHBOUR, "als &Nachbar", "Neue Seite als nächsten Nachbarn der aktuellen Seite einfügen.", "", ""},
    {ID_TREE_INSERT_CHILD, "als &Kind", "Seite als Kind-Eintrag einfügen.", "", ""},
    {ID_TREE_DELETE_PAGE, "&Seite löschen", "Seite löschen.", "", ""},
    {ID_TREE_DELETE_SUBTREE, "&Unterbaum löschen", "Unterbaum löschen.", "", ""},
    {ID_TREE_COPY_PAGE, "Seite &kopieren", "Seite kopieren.", "", ""},
    {ID_TREE_COPY_SUBTREE, "&Unterbaum kopieren", "Unterbaum kopieren.", "", ""},
    {ID_TREE_SORT, "Seiten &sortieren...", "Sortieren der Nachbarn der aktuellen Seite.\nNachbarn sortieren", "",
     "Seiten sortieren"},
    {ID_TREE_SORT_CONTEXT, "S&ortieren...", "Sortieren der Nachbarn der aktuellen Seite.", "", ""},
    {ID_TREE_LEFT, "Seite &links", "Seite nach links schieben.\nSeite links", "F5", "Seite links"},
    {ID_TREE_RIGHT, "Seite &rechts", "Seite nach rechts schieben.\nSeite rechts", "Shift+F5", "Seite rechts"},
    {ID_TREE_UP, "Seite &hoch", "Seite nach oben schieben.\nSeite hoch", "F8", "Seite hoch"},
    {ID_TREE_DOWN, "Seite &tiefer", "Seite nach unten schieben.\nSeite tiefer", "Shift+F8", "Seite runter"},
    {ID_TREE_MULTIPLE, "&Verschieben/Kopieren...", "Mehrfach Verschieben/Kopieren von Seiten.", "", ""},
    {ID_TREE_ENTRY_STYLE, "&Baumeintrag bearbeiten...", "Baumeintrag bearbeiten.", "", ""},
    {ID_TREE_EXPAND_SIBLINGS, "Nachbarseiten &öffnen", "Baumansichten der Nachbarn öffnen.", "", ""},
    {ID_TREE_COLLAPSE_SIBLINGS, "Nachbarseiten sc&hließen", "Baumansichten der Nachbarn schließen.", "", ""},
    {ID_TREE_EXPAND_ALL, "&Alle Einträge öffnen", "Alle Einträge aller Stufen öffnen.", "", ""},
    {ID_TREE_BACKGROUND, "&Hintergrundfarbe...", "Hintergrundfarbe der Baumansicht setzen.", "", ""},
    {ID_PAGE_PROPERTIES, "&Eigenschaften...", "Zeigt Eigenschaften der aktuellen Seite.", "", ""},
    {ID_VIEW_TREE, "Baumansicht &zeigen", "Anzeigen der Baumansicht.", "", ""},
    // "Bearbeiten"
    {ID_EDIT_UNDO, "&Rückgängig", "Macht die letzte Aktion rückgängig.\nRückgängig", "Ctrl+Z", ""},
    {ID_EDIT_CUT, "&Ausschneiden", "Entfernt die Markierung und fügt sie in die Zwischenablage ein.\nAusschneiden",
     "Ctrl+X", "Ausschneiden"},
    {ID_EDIT_COPY, "&Kopieren", "Kopiert die Markierung und fügt sie in die Zwischenablage ein.\nKopieren", "Ctrl+C",
     "Kopieren"},
    {ID_EDIT_PASTE, "E&infügen", "Fügt den Inhalt der Zwischenablage ein.\nEinfügen", "Ctrl+V", "Einfügen"},
    {ID_EDIT_SELECT_ALL, "Alles &markieren", "Markiert das gesamte Dokument.\nAlles markieren", "Ctrl+A", ""},
    {ID_EDIT_FIND, "&Suchen...", "Sucht den angegebenen Text.\nSuchen", "Ctrl+F", ""},
    {ID_EDIT_REPEAT, "&Weitersuchen", "Wiederholt die letzte Suche.\nWeitersuchen", "F3", ""},
    {ID_EDIT_REPLACE, "&Ersetzen...", "Ersetzt einen bestimmten Text durch einen anderen.\nErsetzen", "Ctrl+H", ""},
    {ID_SEARCH_REPLACE, "S&uchen und Ersetzen", "Suchen und Ersetzen im Dokument.\nSuchen und Ersetzen im Dokument", "",
     "Suchen"},
    {ID_INSERT_DATETIME, "&Datum && Zeit einfügen", "Datum und Zeit einfügen.\nDatum && Zeit einfügen",
     "Alt+Shift+D", "Datum/Zeit"},
    {ID_WRAP_PRINTER, "&Druckerseite", "Zeilenumbruch an der Druckerseite.", "", ""},
    {ID_WRAP_WINDOW, "&Fenster", "Zeilenumbruch am Fenster.", "", ""},
    {ID_WRAP_NONE, "&Kein", "Kein Zeilenumbruch.", "", ""},
    {ID_CHAR_BOLD, "Fettschrift", "Fettschrift.\nFettschrift", "Ctrl+B", "Fett"},
    {ID_CHAR_ITALIC, "Kursivschrift", "Kursivschrift.\nKursivschrift", "Ctrl+I", "Kursiv"},
    {ID_CHAR_UNDERLINE, "Unterstrichen", "Unterstrichen.\nUnterstrichen", "Ctrl+U", "Unterstrichen"},
    {ID_PARA_LEFT, "Linksbündig", "Linksbündig.\nLinksbündig", "Ctrl+L", "Links"},
    {ID_PARA_CENTER, "Zentriert", "Zentriert.\nZentriert", "Ctrl+E", "Zentriert"},
    {ID_PARA_RIGHT, "Rechtsbündig", "Rechtsbündig.\nRechtsbündig", "Ctrl+R", "Rechts"},
    {ID_INDENT_LESS, "Einzug verkleinern", "Einzug verkleinern.\nEinzug verkleinern", "", "Einzug verkleinern"},
    {ID_INDENT_MORE, "Einzug vergrößern", "Einzug vergrößern.\nEinzug vergrößern", "", "Einzug vergrößern"},
    {ID_BULLET, "Aufzählen", "Aufzählen.\nAufzählen", "", "Aufzählen"},
    {ID_FONT_TAKE_DEFAULT, "Defaultfont übernehmen", "Defaultfont übernehmen.\nDefaultfont übernehmen", "",
     "Font nehmen"},
    {ID_FONT_USE_DEFAULT, "Defaultfont nutzen", "Defaultfont nutzen.\nDefaultfont nutzen", "", "Font nutzen"},
    {ID_CHAR_STRIKEOUT, "Durchgestrichen", "Durchgestrichen.\nDurchgestrichen", "", ""},
    {ID_CHAR_SUPERSCRIPT, "Hochgestellt", "Hochgestellt.\nHochgestellt", "", ""},
    {ID_CHAR_SUBSCRIPT, "Tiefgestellt", "Tiefgestellt.\nTiefgestellt", "", ""},
    {ID_TEXT_COLOUR, "Textfarbe", "Textfarbe.\nTextfarbe", "", ""},
    {ID_TEXT_COLOUR_OFF, "Textfarbe aus", "Textfarbe aus.\nTextfarbe aus", "", ""},
    {ID_TEXT_BACKGROUND, "Texthintergrundfarbe", "Texthintergrundfarbe.\nTexthintergrundfarbe", "", ""},
    {ID_TEXT_BACKGROUND_OFF, "Texthintergrundfarbe aus", "Texthintergrundfarbe aus.\nTexthintergrundfarbe aus", "",
     ""},
    {ID_UPPER_CASE, "Großbuchstaben", "Großbuchstaben.\nGroßbuchstaben", "", ""},
    {ID_LOWER_CASE, "Kleinbuchstaben", "Kleinbuchstaben.\nKleinbuchstaben", "", ""},
    {ID_IMPORT_TEXT, "Text importieren", "Text importieren.\nText importieren", "", ""},
    {ID_IMPORT_PICTURES, "Bilder importieren", "Bilder importieren.\nBilder importieren", "", ""},
    // navigation
    {ID_NAV_BACK, "Zurück", "Zurück zur letzten gesehenen Seite.\nZurück", "", "Zurück"},
    {ID_NAV_FORWARD, "Vorwärts", "Vorwärts zur nächsten gesehenen Seite.\nVorwärts", "", "Vorwärts"},
    {ID_NAV_PARENT, "Aufwärts", "Aufwärts zum Vater der Seite.\nAufwärts", "", "Aufwärts"},
    {ID_NAV_CHILD, "Abwärts", "Abwärts zum Sohn der Seite.\nAbwärts", "", "Abwärts"},
    {ID_NAV_PREV_PAGE, "Vorherige Seite", "Aufwärts zur vorherigen Seite.\nVorherige Seite", "", "Voriger"},
    {ID_NAV_NEXT_PAGE, "Nächste Seite", "Abwärts zur nächsten Seite.\nNächste Seite", "", "Nächster"},
    {ID_FOLLOW_LINK, "Link verfolgen", "Hyperlink verfolgen.\nLink verfolgen", "", ""},
    {ID_PAGE_BACKGROUND, "&Hintergrundfarbe...", "Hintergrundfarbe wählen.", "", ""},
    // "Dateien"
    {ID_FILES_NEW, "&Neue Datei", "Neue leere Datei erstellen.", "", ""},
    {ID_FILES_SELECT_ALL, "&Alle auswählen", "Alle Dateien auswählen.", "", ""},
    {ID_FILES_IMPORT, "&Importieren...", "Importieren von Dateien.", "", ""},
    {ID_FILES_EXPORT, "E&xportieren...", "Exportieren der ausgewählten Dateien.", "", ""},
    {ID_FILES_INSERT_TEXT, "als &Text", "Datei als Text an die aktuelle Einfügeposition im Text einfügen.", "", ""},
    {ID_FILES_INSERT_PICTURE, "als &Bild", "Datei als Bild an die aktuelle Einfügeposition im Text einfügen.", "", ""},
    {ID_FILES_OPEN, "&Öffnen / Ausführen...", "Öffnen / Ausführen der ausgewählten Dateien.", "", ""},
    {ID_FILES_RENAME, "&Umbenennen", "Umbenennen der ausgewählten Datei.", "", ""},
    {ID_FILES_DELETE, "&Löschen", "Löschen der ausgewählten Dateien.", "", ""},
    {ID_FILES_PROPERTIES, "&Eigenschaften...", "Zeigt Eigenschaften der ausgewählten Dateien.", "", ""},
    {ID_FILES_BACKGROUND, "&Hintergrundfarbe...", "Hintergrundfarbe der Dateienansicht wählen.", "", ""},
    {ID_VIEW_FILES, "Dateienansicht &zeigen", "Anzeigen der Dateienansicht.", "", ""},
    // "Einstellungen", "?"
    {ID_OPTIONS, "&Optionen...", "Zeigt Registerkarten mit Optionen.", "", ""},
    {ID_HELP, "&Hilfe", "Hilfe.\nHilfe", "", "Hilfe"},
    {ID_APP_ABOUT, "&Info über Zettrix...", "Zeigt Programminformationen, Versionsnummer und Copyright an.\nInfo", "",
     ""},
    // keys, page bar
    {ID_NEXT_PANE, "Nächster Ausschnitt", "Wechselt zum nächsten Fensterausschnitt.\nNächster Ausschnitt", "F6", ""},
    {ID_SELECT_PAGE, "Seite auswählen", "Auswählen einer Seite.", "Alt+S", ""},
    {ID_SELECT_FILE, "Datei auswählen", "Auswählen einer Datei.", "Alt+A", ""},
    // tray
    {ID_TRAY_SHOW, "&Anzeigen", "Applikationsfenster anzeigen.", "", ""},
    {ID_TRAY_HIDE, "&Verstecken", "Die Applikation verstecken.", "", ""},
    {ID_TRAY_SAVE, "&Speichern", "Speichern des aktuellen Dokumentes.", "", ""},
    {ID_TRAY_EXIT, "&Beenden", "Beenden von Zettrix.", "", ""},
};

} // namespace

const std::vector<CommandInfo>& AllCommands() { return kCommands; }

const CommandInfo* FindCommand(int id) {
    auto it = std::find_if(kCommands.begin(), kCommands.end(), [id](const CommandInfo& c) { return c.id == id; });
    return it == kCommands.end() ? nullptr : &*it;
}

} // namespace zt::ui
