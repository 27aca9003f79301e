<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Banner</name>
    <message>
        <source>Banner</source>
        <translation>Hinweis</translation>
    </message>
</context>
<context>
    <name>Banners</name>
    <message>
        <source>Download</source>
        <translation>Herunterladen</translation>
    </message>
    <message>
        <source>Ollama is running. Quit it before trashing Ollama models.</source>
        <translation>Ollama läuft. Beenden Sie Ollama, bevor Sie Ollama-Modelle in den Papierkorb verschieben.</translation>
    </message>
    <message>
        <source>Brimvale %1 is available.</source>
        <translation>Brimvale %1 ist verfügbar.</translation>
    </message>
</context>
<context>
    <name>DedupeController</name>
    <message>
        <source>Checking what can be freed…</source>
        <translation>Es wird geprüft, was freigegeben werden kann …</translation>
    </message>
    <message>
        <source>Nothing to free — no copy is stored twice</source>
        <translation>Nichts freizugeben — keine Kopie ist doppelt gespeichert</translation>
    </message>
    <message>
        <source>Free %1 by sharing identical data?</source>
        <translation>%1 durch gemeinsame Nutzung identischer Daten freigeben?</translation>
    </message>
    <message>
        <source>Both copies stay where they are and keep working; the disk stores their data once.</source>
        <translation>Beide Kopien bleiben, wo sie sind, und funktionieren weiter; die Festplatte speichert ihre Daten nur einmal.</translation>
    </message>
    <message>
        <source>On this drive the copy is replaced by a hard link to the one that stays, so both paths show one file.</source>
        <translation>Auf diesem Laufwerk wird die Kopie durch einen harten Link auf die verbleibende Datei ersetzt, sodass beide Pfade dieselbe Datei zeigen.</translation>
    </message>
    <message>
        <source>Free Space</source>
        <translation>Speicher freigeben</translation>
    </message>
    <message>
        <source>Freeing duplicates…</source>
        <translation>Duplikate werden freigegeben …</translation>
    </message>
    <message>
        <source>Freed %1</source>
        <translation>%1 freigegeben</translation>
    </message>
    <message>
        <source>Freed %1. %2</source>
        <translation>%1 freigegeben. %2</translation>
    </message>
    <message>
        <source>Nothing was freed.</source>
        <translation>Es wurde nichts freigegeben.</translation>
    </message>
    <message>
        <source>Freed %1 of %2. %3</source>
        <translation>%1 von %2 freigegeben. %3</translation>
    </message>
</context>
<context>
    <name>DesktopDialogs</name>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>DiskFreeFooter</name>
    <message>
        <source>Disk space</source>
        <translation>Speicherplatz</translation>
    </message>
    <message>
        <source>Used disk space</source>
        <translation>Belegter Speicherplatz</translation>
    </message>
    <message>
        <source>%1 available of %2</source>
        <translation>%1 von %2 verfügbar</translation>
    </message>
</context>
<context>
    <name>FolderController</name>
    <message>
        <source>Add Folder to Scan</source>
        <translation>Ordner zum Durchsuchen hinzufügen</translation>
    </message>
    <message>
        <source>Brimvale will look for model files (.gguf, .safetensors, .ckpt, …) inside this folder.</source>
        <translation>Brimvale sucht in diesem Ordner nach Modelldateien (.gguf, .safetensors, .ckpt, …).</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Adding folder…</source>
        <translation>Ordner wird hinzugefügt …</translation>
    </message>
    <message>
        <source>Removing folder…</source>
        <translation>Ordner wird entfernt …</translation>
    </message>
</context>
<context>
    <name>Format</name>
    <message>
        <source>Today</source>
        <translation>Heute</translation>
    </message>
    <message>
        <source>Yesterday</source>
        <translation>Gestern</translation>
    </message>
    <message>
        <source>%1 days ago</source>
        <translation>vor %1 Tagen</translation>
    </message>
    <message>
        <source>%1 week ago</source>
        <translation>vor %1 Woche</translation>
    </message>
    <message>
        <source>%1 weeks ago</source>
        <translation>vor %1 Wochen</translation>
    </message>
</context>
<context>
    <name>JobRunner</name>
    <message>
        <source>Unexpected error: %1</source>
        <translation>Unerwarteter Fehler: %1</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>Scan for Models</source>
        <translation>Nach Modellen suchen</translation>
    </message>
    <message>
        <source>Add Folder to Scan…</source>
        <translation>Ordner zum Durchsuchen hinzufügen …</translation>
    </message>
    <message>
        <source>Export Report…</source>
        <translation>Bericht exportieren …</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>&amp;Edit</source>
        <translation>&amp;Bearbeiten</translation>
    </message>
    <message>
        <source>Move Back</source>
        <translation>Zurückverschieben</translation>
    </message>
    <message>
        <source>Settings…</source>
        <translation>Einstellungen …</translation>
    </message>
    <message>
        <source>&amp;View</source>
        <translation>&amp;Ansicht</translation>
    </message>
    <message>
        <source>Show Trash</source>
        <translation>Papierkorb anzeigen</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Brimvale Website</source>
        <translation>Brimvale-Website</translation>
    </message>
    <message>
        <source>Contact Support</source>
        <translation>Support kontaktieren</translation>
    </message>
    <message>
        <source>Move to Trash Anyway</source>
        <translation>Trotzdem in den Papierkorb</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Abbrechen</translation>
    </message>
</context>
<context>
    <name>ModelSource</name>
    <message>
        <source>AI Caches</source>
        <translation>KI-Caches</translation>
    </message>
    <message>
        <source>AI Cache</source>
        <translation>KI-Cache</translation>
    </message>
    <message>
        <source>Loose Files</source>
        <translation>Lose Dateien</translation>
    </message>
    <message>
        <source>Loose File</source>
        <translation>Lose Datei</translation>
    </message>
    <message>
        <source>Custom Folders</source>
        <translation>Eigene Ordner</translation>
    </message>
    <message>
        <source>Custom</source>
        <translation>Eigener Ordner</translation>
    </message>
</context>
<context>
    <name>ModelTable</name>
    <message>
        <source>Models</source>
        <translation>Modelle</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>In den Papierkorb</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Im Dateimanager zeigen</translation>
    </message>
    <message>
        <source>Copy Path</source>
        <translation>Pfad kopieren</translation>
    </message>
    <message>
        <source>Free Duplicates…</source>
        <translation>Duplikate freigeben …</translation>
    </message>
    <message>
        <source>Move to…</source>
        <translation>Verschieben nach …</translation>
    </message>
    <message>
        <source>Move Back</source>
        <translation>Zurückverschieben</translation>
    </message>
</context>
<context>
    <name>ModelsView</name>
    <message>
        <source>These files are 50 MB or larger and have identical content to another file. Keep one copy and trash the rest.</source>
        <translation>Diese Dateien sind 50 MB oder größer und haben denselben Inhalt wie eine andere Datei. Behalten Sie eine Kopie und verschieben Sie den Rest in den Papierkorb.</translation>
    </message>
    <message>
        <source>Models and caches nobody has read for 3 months or more.</source>
        <translation>Modelle und Caches, die seit 3 Monaten oder länger niemand gelesen hat.</translation>
    </message>
    <message>
        <source>Free Duplicates…</source>
        <translation>Duplikate freigeben …</translation>
    </message>
    <message>
        <source>Move to…</source>
        <translation>Verschieben nach …</translation>
    </message>
    <message>
        <source>Move to Trash</source>
        <translation>In den Papierkorb</translation>
    </message>
    <message>
        <source>Free Duplicates</source>
        <translation>Duplikate freigeben</translation>
    </message>
    <message>
        <source>Keep every copy where it is and store the identical data once</source>
        <translation>Jede Kopie bleibt, wo sie ist, und die identischen Daten werden nur einmal gespeichert</translation>
    </message>
    <message>
        <source>Move to another drive and leave a symlink behind</source>
        <translation>Auf ein anderes Laufwerk verschieben und einen symbolischen Link zurücklassen</translation>
    </message>
    <message>
        <source>Search names and paths</source>
        <translation>Namen und Pfade durchsuchen</translation>
    </message>
    <message>
        <source>Search</source>
        <translation>Suchen</translation>
    </message>
    <message>
        <source>Clear Search</source>
        <translation>Suche löschen</translation>
    </message>
    <message>
        <source>Loose Files</source>
        <translation>Lose Dateien</translation>
    </message>
    <message>
        <source>Also look for model files in Downloads, Documents and Desktop</source>
        <translation>Auch in Downloads, Dokumente und Schreibtisch nach Modelldateien suchen</translation>
    </message>
    <message>
        <source>Export Report</source>
        <translation>Bericht exportieren</translation>
    </message>
    <message>
        <source>Save a Markdown inventory of every model</source>
        <translation>Eine Markdown-Übersicht aller Modelle speichern</translation>
    </message>
    <message>
        <source>Scan</source>
        <translation>Durchsuchen</translation>
    </message>
    <message>
        <source>Scan again (Ctrl+R)</source>
        <translation>Erneut durchsuchen (Strg+R)</translation>
    </message>
    <message>
        <source>All Models</source>
        <translation>Alle Modelle</translation>
    </message>
    <message>
        <source>Duplicates</source>
        <translation>Duplikate</translation>
    </message>
    <message>
        <source>Not Used Lately</source>
        <translation>Länger nicht benutzt</translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Papierkorb</translation>
    </message>
    <message>
        <source>On Other Drives</source>
        <translation>Auf anderen Laufwerken</translation>
    </message>
    <message numerus="yes">
        <source>%n items · %1</source>
        <translation>
            <numerusform>%n Eintrag · %1</numerusform>
            <numerusform>%n Einträge · %1</numerusform>
        </translation>
    </message>
    <message>
        <source>No Results for “%1”</source>
        <translation>Keine Ergebnisse für „%1“</translation>
    </message>
    <message>
        <source>Check the spelling or try a new search.</source>
        <translation>Prüfen Sie die Schreibweise oder versuchen Sie eine andere Suche.</translation>
    </message>
    <message>
        <source>No %1 Models Found</source>
        <translation>Keine %1-Modelle gefunden</translation>
    </message>
    <message>
        <source>No .gguf, .safetensors, .onnx or .mlx files over 10 MB in Downloads, Documents or Desktop.</source>
        <translation>Keine .gguf-, .safetensors-, .onnx- oder .mlx-Dateien über 10 MB in Downloads, Dokumente oder Schreibtisch.</translation>
    </message>
    <message>
        <source>Nothing from %1 is taking up space on this computer.</source>
        <translation>Nichts von %1 belegt Platz auf diesem Computer.</translation>
    </message>
    <message>
        <source>%1 is not available — is its drive connected?</source>
        <translation>%1 ist nicht verfügbar — ist das Laufwerk angeschlossen?</translation>
    </message>
    <message>
        <source>No Models in This Folder</source>
        <translation>Keine Modelle in diesem Ordner</translation>
    </message>
    <message>
        <source>Only model files of 1 MB or more are listed.</source>
        <translation>Nur Modelldateien ab 1 MB werden aufgeführt.</translation>
    </message>
    <message>
        <source>No Duplicates</source>
        <translation>Keine Duplikate</translation>
    </message>
    <message>
        <source>Every model is stored only once.</source>
        <translation>Jedes Modell ist nur einmal gespeichert.</translation>
    </message>
    <message>
        <source>Nothing Unused</source>
        <translation>Nichts ungenutzt</translation>
    </message>
    <message>
        <source>Every model was read in the last 3 months.</source>
        <translation>Jedes Modell wurde in den letzten 3 Monaten gelesen.</translation>
    </message>
    <message>
        <source>Nothing on Other Drives</source>
        <translation>Nichts auf anderen Laufwerken</translation>
    </message>
    <message>
        <source>Models you move to another drive are listed here.</source>
        <translation>Modelle, die Sie auf ein anderes Laufwerk verschieben, werden hier aufgeführt.</translation>
    </message>
    <message>
        <source>No AI Models Found</source>
        <translation>Keine KI-Modelle gefunden</translation>
    </message>
    <message>
        <source>Add a folder or include loose files to search more places.</source>
        <translation>Fügen Sie einen Ordner hinzu oder beziehen Sie lose Dateien ein, um an mehr Orten zu suchen.</translation>
    </message>
    <message>
        <source>Add Folder…</source>
        <translation>Ordner hinzufügen …</translation>
    </message>
    <message>
        <source>%1 of %2 selected · %3</source>
        <translation>%1 von %2 ausgewählt · %3</translation>
    </message>
</context>
<context>
    <name>MoveController</name>
    <message numerus="yes">
        <source>%n models</source>
        <translation>
            <numerusform>%n Modell</numerusform>
            <numerusform>%n Modelle</numerusform>
        </translation>
    </message>
    <message>
        <source>Move Models</source>
        <translation>Modelle verschieben</translation>
    </message>
    <message>
        <source>Choose where to move %1. A symlink is left at the original location so your tools keep working.</source>
        <translation>Wählen Sie, wohin %1 verschoben werden soll. Am ursprünglichen Ort bleibt ein symbolischer Link, damit Ihre Werkzeuge weiter funktionieren.</translation>
    </message>
    <message>
        <source>Move Here</source>
        <translation>Hierher verschieben</translation>
    </message>
    <message>
        <source>Moving %1 to %2</source>
        <translation>%1 wird nach %2 verschoben</translation>
    </message>
    <message>
        <source> (%1 of %2)…</source>
        <translation> (%1 von %2) …</translation>
    </message>
    <message>
        <source>Moved %1 to %2 · symlinks left in place</source>
        <translation>%1 nach %2 verschoben · symbolische Links bleiben bestehen</translation>
    </message>
    <message>
        <source>Stopped — nothing was moved</source>
        <translation>Angehalten — nichts wurde verschoben</translation>
    </message>
    <message>
        <source>Stopped — moved %1 of %2</source>
        <translation>Angehalten — %1 von %2 verschoben</translation>
    </message>
    <message>
        <source>Move failed</source>
        <translation>Verschieben fehlgeschlagen</translation>
    </message>
    <message>
        <source>Moving %1 back…</source>
        <translation>%1 wird zurückverschoben …</translation>
    </message>
    <message numerus="yes">
        <source>Moving %n items back…</source>
        <translation>
            <numerusform>%n Eintrag wird zurückverschoben …</numerusform>
            <numerusform>%n Einträge werden zurückverschoben …</numerusform>
        </translation>
    </message>
    <message>
        <source>Moved %1 back</source>
        <translation>%1 zurückverschoben</translation>
    </message>
    <message numerus="yes">
        <source>Moved %n items back</source>
        <translation>
            <numerusform>%n Eintrag zurückverschoben</numerusform>
            <numerusform>%n Einträge zurückverschoben</numerusform>
        </translation>
    </message>
    <message>
        <source>Move back failed</source>
        <translation>Zurückverschieben fehlgeschlagen</translation>
    </message>
</context>
<context>
    <name>ReportController</name>
    <message>
        <source>Export Report</source>
        <translation>Bericht exportieren</translation>
    </message>
    <message>
        <source>Brimvale Report %1.md</source>
        <translation>Brimvale-Bericht %1.md</translation>
    </message>
    <message>
        <source>Could not save report: %1</source>
        <translation>Bericht konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>Report saved to %1</source>
        <translation>Bericht gespeichert unter %1</translation>
    </message>
</context>
<context>
    <name>ScanController</name>
    <message>
        <source>Checking duplicates… %1 of %2</source>
        <translation>Duplikate werden geprüft … %1 von %2</translation>
    </message>
    <message>
        <source>Scanning… %1 of %2 sources · %3 files</source>
        <translation>Durchsuchen … %1 von %2 Quellen · %3 Dateien</translation>
    </message>
</context>
<context>
    <name>ScanItemModel</name>
    <message>
        <source>Open in %1</source>
        <translation>In %1 öffnen</translation>
    </message>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Modified</source>
        <translation>Geändert</translation>
    </message>
    <message>
        <source>Last Used</source>
        <translation>Zuletzt benutzt</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>In Use</source>
        <translation>In Gebrauch</translation>
    </message>
    <message>
        <source>Safe</source>
        <translation>Sicher</translation>
    </message>
    <message>
        <source>Trashing frees %1</source>
        <translation>Papierkorb gibt %1 frei</translation>
    </message>
    <message>
        <source>This drive does not record when files are read</source>
        <translation>Dieses Laufwerk speichert nicht, wann Dateien gelesen werden</translation>
    </message>
    <message>
        <source>Ollama is running</source>
        <translation>Ollama läuft</translation>
    </message>
    <message>
        <source>DUPLICATE</source>
        <translation>DUPLIKAT</translation>
    </message>
    <message>
        <source>10 GB+</source>
        <translation>10 GB+</translation>
    </message>
    <message>
        <source>IN USE</source>
        <translation>IN GEBRAUCH</translation>
    </message>
    <message>
        <source>ON %1</source>
        <translation>AUF %1</translation>
    </message>
</context>
<context>
    <name>ScanningPlaceholder</name>
    <message>
        <source>Scanning your computer for AI models…</source>
        <translation>Ihr Computer wird nach KI-Modellen durchsucht …</translation>
    </message>
    <message>
        <source>Ollama, LM Studio, Hugging Face, ComfyUI, Whisper and AI coding caches</source>
        <translation>Ollama, LM Studio, Hugging Face, ComfyUI, Whisper und Caches von KI-Programmierwerkzeugen</translation>
    </message>
</context>
<context>
    <name>SettingsWindow</name>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Scanning</source>
        <translation>Durchsuchen</translation>
    </message>
    <message>
        <source>Include loose files in Downloads, Documents and Desktop</source>
        <translation>Lose Dateien in Downloads, Dokumente und Schreibtisch einbeziehen</translation>
    </message>
    <message>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <source>Brimvale also scans these folders for model files.</source>
        <translation>Brimvale durchsucht auch diese Ordner nach Modelldateien.</translation>
    </message>
    <message>
        <source>Add Folder</source>
        <translation>Ordner hinzufügen</translation>
    </message>
    <message>
        <source>Remove Folder</source>
        <translation>Ordner entfernen</translation>
    </message>
</context>
<context>
    <name>SidebarModel</name>
    <message>
        <source>All Models</source>
        <translation>Alle Modelle</translation>
    </message>
    <message>
        <source>Duplicates</source>
        <translation>Duplikate</translation>
    </message>
    <message>
        <source>Not Used Lately</source>
        <translation>Länger nicht benutzt</translation>
    </message>
    <message>
        <source>On Other Drives</source>
        <translation>Auf anderen Laufwerken</translation>
    </message>
    <message>
        <source>Sources</source>
        <translation>Quellen</translation>
    </message>
    <message>
        <source>Folders</source>
        <translation>Ordner</translation>
    </message>
    <message>
        <source>Add Folder…</source>
        <translation>Ordner hinzufügen …</translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Papierkorb</translation>
    </message>
    <message numerus="yes">
        <source>%1, %n item(s)</source>
        <translation>
            <numerusform>%1, %n Eintrag</numerusform>
            <numerusform>%1, %n Einträge</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>SidebarView</name>
    <message>
        <source>Sidebar</source>
        <translation>Seitenleiste</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Im Dateimanager zeigen</translation>
    </message>
    <message>
        <source>Remove from List</source>
        <translation>Aus der Liste entfernen</translation>
    </message>
</context>
<context>
    <name>Spinner</name>
    <message>
        <source>Busy</source>
        <translation>Beschäftigt</translation>
    </message>
</context>
<context>
    <name>StatusBar</name>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Anhalten</translation>
    </message>
    <message>
        <source>Scanning…</source>
        <translation>Durchsuchen …</translation>
    </message>
</context>
<context>
    <name>StorageBar</name>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
</context>
<context>
    <name>StorageHeader</name>
    <message>
        <source>used by AI models and caches</source>
        <translation>von KI-Modellen und Caches belegt</translation>
    </message>
    <message>
        <source>used by AI models and caches · %1 on other drives</source>
        <translation>von KI-Modellen und Caches belegt · %1 auf anderen Laufwerken</translation>
    </message>
</context>
<context>
    <name>ToastView</name>
    <message>
        <source>Undo</source>
        <translation>Rückgängig</translation>
    </message>
</context>
<context>
    <name>TrashAlert</name>
    <message>
        <source>%1 is in use</source>
        <translation>%1 ist in Gebrauch</translation>
    </message>
    <message numerus="yes">
        <source>%1 and %n more are in use</source>
        <translation>
            <numerusform>%1 und %n weiteres sind in Gebrauch</numerusform>
            <numerusform>%1 und %n weitere sind in Gebrauch</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 has it open. Moving it to the Trash now may make %1 fail.</source>
        <translation>%1 hat die Datei geöffnet. Wenn Sie sie jetzt in den Papierkorb verschieben, kann %1 fehlschlagen.</translation>
    </message>
    <message>
        <source>Ollama is running</source>
        <translation>Ollama läuft</translation>
    </message>
    <message>
        <source>Trashing models while Ollama is running can leave it in a broken state. Quit Ollama first, or continue anyway.</source>
        <translation>Werden Modelle in den Papierkorb verschoben, während Ollama läuft, kann Ollama in einem fehlerhaften Zustand zurückbleiben. Beenden Sie zuerst Ollama oder fahren Sie trotzdem fort.</translation>
    </message>
</context>
<context>
    <name>TrashController</name>
    <message>
        <source>Checking whether Ollama is running…</source>
        <translation>Es wird geprüft, ob Ollama läuft …</translation>
    </message>
    <message>
        <source>Moving %1 to Trash…</source>
        <translation>%1 wird in den Papierkorb verschoben …</translation>
    </message>
    <message numerus="yes">
        <source>Moving %n items to Trash…</source>
        <translation>
            <numerusform>%n Eintrag wird in den Papierkorb verschoben …</numerusform>
            <numerusform>%n Einträge werden in den Papierkorb verschoben …</numerusform>
        </translation>
    </message>
    <message>
        <source>Trashed %1 of %2. %3</source>
        <translation>%1 von %2 in den Papierkorb verschoben. %3</translation>
    </message>
    <message>
        <source>Moved %1 to Trash · %2 freed</source>
        <translation>%1 in den Papierkorb verschoben · %2 freigegeben</translation>
    </message>
    <message numerus="yes">
        <source>%n items</source>
        <translation>
            <numerusform>%n Eintrag</numerusform>
            <numerusform>%n Einträge</numerusform>
        </translation>
    </message>
    <message>
        <source>Restored to its original location</source>
        <translation>An den ursprünglichen Ort wiederhergestellt</translation>
    </message>
    <message numerus="yes">
        <source>Restored %n items</source>
        <translation>
            <numerusform>%n Eintrag wiederhergestellt</numerusform>
            <numerusform>%n Einträge wiederhergestellt</numerusform>
        </translation>
    </message>
    <message>
        <source>Restoring…</source>
        <translation>Wird wiederhergestellt …</translation>
    </message>
    <message>
        <source>Deleting…</source>
        <translation>Wird gelöscht …</translation>
    </message>
    <message>
        <source>Deleted permanently · %1 freed</source>
        <translation>Endgültig gelöscht · %1 freigegeben</translation>
    </message>
</context>
<context>
    <name>TrashItemModel</name>
    <message>
        <source>Name</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Source</source>
        <translation>Quelle</translation>
    </message>
    <message>
        <source>Size</source>
        <translation>Größe</translation>
    </message>
    <message>
        <source>Trashed</source>
        <translation>Gelöscht</translation>
    </message>
    <message>
        <source>Was at %1</source>
        <translation>War unter %1</translation>
    </message>
    <message>
        <source>unknown</source>
        <translation>unbekannt</translation>
    </message>
</context>
<context>
    <name>TrashTable</name>
    <message>
        <source>Trash items</source>
        <translation>Einträge im Papierkorb</translation>
    </message>
    <message>
        <source>Put Back</source>
        <translation>Zurücklegen</translation>
    </message>
    <message>
        <source>Show in File Manager</source>
        <translation>Im Dateimanager zeigen</translation>
    </message>
    <message>
        <source>Delete Immediately…</source>
        <translation>Sofort löschen …</translation>
    </message>
</context>
<context>
    <name>TrashView</name>
    <message>
        <source>Items you trash from Brimvale can be restored to their original location until you empty the Trash.</source>
        <translation>Einträge, die Sie aus Brimvale in den Papierkorb verschieben, können bis zum Leeren des Papierkorbs an ihren ursprünglichen Ort wiederhergestellt werden.</translation>
    </message>
    <message>
        <source>Put Back</source>
        <translation>Zurücklegen</translation>
    </message>
    <message>
        <source>Delete Immediately…</source>
        <translation>Sofort löschen …</translation>
    </message>
    <message>
        <source>Empty…</source>
        <translation>Leeren …</translation>
    </message>
    <message>
        <source>Trash</source>
        <translation>Papierkorb</translation>
    </message>
    <message>
        <source>Trash Is Empty</source>
        <translation>Papierkorb ist leer</translation>
    </message>
    <message>
        <source>Models you move to the Trash appear here so you can restore them.</source>
        <translation>Modelle, die Sie in den Papierkorb verschieben, erscheinen hier, damit Sie sie wiederherstellen können.</translation>
    </message>
    <message numerus="yes">
        <source>%n items · %1</source>
        <translation>
            <numerusform>%n Eintrag · %1</numerusform>
            <numerusform>%n Einträge · %1</numerusform>
        </translation>
    </message>
    <message>
        <source>%1 of %2 selected</source>
        <translation>%1 von %2 ausgewählt</translation>
    </message>
    <message>
        <source>Delete &quot;%1&quot; immediately?</source>
        <translation>„%1“ sofort löschen?</translation>
    </message>
    <message numerus="yes">
        <source>Delete %n items immediately?</source>
        <translation>
            <numerusform>%n Eintrag sofort löschen?</numerusform>
            <numerusform>%n Einträge sofort löschen?</numerusform>
        </translation>
    </message>
    <message>
        <source>This can&apos;t be undone.</source>
        <translation>Dies kann nicht rückgängig gemacht werden.</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>Löschen</translation>
    </message>
</context>
</TS>
