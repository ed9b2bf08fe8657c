<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
<context>
    <name>TDBusLoginManager</name>
    <message>
        <source>no answer</source>
        <translation>keine Antwort</translation>
    </message>
    <message>
        <source>the system bus cannot be reached (%1)</source>
        <translation>der Systembus ist nicht erreichbar (%1)</translation>
    </message>
</context>
<context>
    <name>TMainController</name>
    <message>
        <source>Open Folder</source>
        <translation>Ordner öffnen</translation>
    </message>
    <message>
        <source>The file has not been converted since the program started.</source>
        <translation>Die Datei wurde seit dem Start des Programms nicht konvertiert.</translation>
    </message>
    <message>
        <source>Log of %1</source>
        <translation>Protokoll von %1</translation>
    </message>
    <message>
        <source>Expected Size : %1</source>
        <translation>Erwartete Größe : %1</translation>
    </message>
    <message>
        <source>Paused</source>
        <translation>Angehalten</translation>
    </message>
    <message>
        <source>Stopping after the current file(s)</source>
        <translation>Endet nach der laufenden Datei</translation>
    </message>
    <message>
        <source>Conversions Stopped After The Current Files

%1</source>
        <translation>Konvertierung nach den laufenden Dateien beendet

%1</translation>
    </message>
    <message>
        <source>Some files are missing. Please re-install this software</source>
        <translation>Einige Dateien fehlen. Bitte installieren Sie das Programm neu.</translation>
    </message>
    <message>
        <source>The saved file list could not be read:
%1
It could not be moved aside either; this session&apos;s list will not be saved.</source>
        <translation>Die gespeicherte Dateiliste konnte nicht gelesen werden:
%1
Sie konnte auch nicht beiseitegelegt werden; die Liste dieser Sitzung wird nicht gespeichert.</translation>
    </message>
    <message>
        <source>The saved file list could not be read:
%1
It has been moved to
%2
The list starts empty.</source>
        <translation>Die gespeicherte Dateiliste konnte nicht gelesen werden:
%1
Sie wurde verschoben nach
%2
Die Liste beginnt leer.</translation>
    </message>
    <message>
        <source>The file list cannot be saved:
%1</source>
        <translation>Die Dateiliste kann nicht gespeichert werden:
%1</translation>
    </message>
    <message>
        <source>Stop all conversions and quit?</source>
        <translation>Alle Konvertierungen anhalten und beenden?</translation>
    </message>
    <message>
        <source>Adding files: %1 of %2</source>
        <translation>Dateien werden hinzugefügt: %1 von %2</translation>
    </message>
    <message>
        <source>Please select a folder to add</source>
        <translation>Bitte wählen Sie einen Ordner zum Hinzufügen</translation>
    </message>
    <message>
        <source>Please select an output folder</source>
        <translation>Bitte wählen Sie einen Ausgabeordner</translation>
    </message>
    <message>
        <source>Save Settings as Preset</source>
        <translation>Einstellungen als Vorlage speichern</translation>
    </message>
    <message>
        <source>Preset name:</source>
        <translation>Name der Vorlage:</translation>
    </message>
    <message>
        <source>Replace the preset &quot;%1&quot;?</source>
        <translation>Die Vorlage „%1“ ersetzen?</translation>
    </message>
    <message>
        <source>The preset could not be saved: %1</source>
        <translation>Die Vorlage konnte nicht gespeichert werden: %1</translation>
    </message>
    <message>
        <source>The preset &quot;%1&quot; cannot be used: %2</source>
        <translation>Die Vorlage „%1“ kann nicht verwendet werden: %2</translation>
    </message>
    <message>
        <source>Rename Preset</source>
        <translation>Vorlage umbenennen</translation>
    </message>
    <message>
        <source>New name:</source>
        <translation>Neuer Name:</translation>
    </message>
    <message>
        <source>The preset could not be renamed: %1</source>
        <translation>Die Vorlage konnte nicht umbenannt werden: %1</translation>
    </message>
    <message>
        <source>Delete the preset &quot;%1&quot;?</source>
        <translation>Die Vorlage „%1“ löschen?</translation>
    </message>
    <message>
        <source>The preset could not be deleted: %1</source>
        <translation>Die Vorlage konnte nicht gelöscht werden: %1</translation>
    </message>
    <message>
        <source>Please Add Files To Convert!</source>
        <translation>Bitte fügen Sie Dateien zum Konvertieren hinzu!</translation>
    </message>
    <message>
        <source>Please select an output folder!</source>
        <translation>Bitte wählen Sie einen Ausgabeordner!</translation>
    </message>
    <message>
        <source>The output folder &quot;%1&quot;
does not exist or has been deleted!
Please choose a new output folder.</source>
        <translation>Der Ausgabeordner „%1“
existiert nicht oder wurde gelöscht!
Bitte wählen Sie einen neuen Ausgabeordner.</translation>
    </message>
    <message>
        <source>The output folder &quot;%1&quot;
%2
Please choose a new output folder.</source>
        <translation>Der Ausgabeordner „%1“
%2
Bitte wählen Sie einen neuen Ausgabeordner.</translation>
    </message>
    <message>
        <source>Converting video files</source>
        <translation>Videodateien werden konvertiert</translation>
    </message>
    <message>
        <source>All Conversions Completed</source>
        <translation>Alle Konvertierungen abgeschlossen</translation>
    </message>
    <message>
        <source>All Conversions Completed

%1</source>
        <translation>Alle Konvertierungen abgeschlossen

%1</translation>
    </message>
    <message>
        <source>%1

The computer will suspend in %2 seconds.</source>
        <translation>%1

Der Computer geht in %2 Sekunden in Bereitschaft.</translation>
    </message>
    <message>
        <source>%1

The computer will power off in %2 seconds.</source>
        <translation>%1

Der Computer schaltet sich in %2 Sekunden aus.</translation>
    </message>
    <message>
        <source>The computer could not suspend: %1

%2</source>
        <translation>Der Computer konnte nicht in Bereitschaft gehen: %1

%2</translation>
    </message>
    <message>
        <source>The computer could not power off: %1

%2</source>
        <translation>Der Computer konnte nicht ausgeschaltet werden: %1

%2</translation>
    </message>
    <message>
        <source>Stop all conversions?</source>
        <translation>Alle Konvertierungen anhalten?</translation>
    </message>
    <message>
        <source>Converting %1 of %2</source>
        <translation>Konvertiere %1 von %2</translation>
    </message>
    <message>
        <source>File Size : %1</source>
        <translation>Dateigröße : %1</translation>
    </message>
    <message>
        <source>%1 Done, %2 Fail, %3 Abort</source>
        <translation>%1 fertig, %2 fehlgeschlagen, %3 abgebrochen</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>... and %1 more</source>
        <translation>… und %1 weitere</translation>
    </message>
    <message>
        <source>Failed:</source>
        <translation>Fehlgeschlagen:</translation>
    </message>
    <message>
        <source>Ended early:</source>
        <translation>Vorzeitig beendet:</translation>
    </message>
    <message>
        <source>Fail to add file to list!</source>
        <translation>Die Datei konnte nicht zur Liste hinzugefügt werden!</translation>
    </message>
    <message>
        <source>%1%  %2  %3 left</source>
        <translation>%1 %  %2  noch %3</translation>
    </message>
    <message>
        <source>%1  %2 left</source>
        <translation>%1  noch %2</translation>
    </message>
    <message>
        <source>%1%  %2 left</source>
        <translation>%1 %  noch %2</translation>
    </message>
    <message>
        <source>The desktop could not open
%1
Please open it by hand.</source>
        <translation>Der Desktop konnte
%1
nicht öffnen. Bitte öffnen Sie es von Hand.</translation>
    </message>
</context>
<context>
    <name>TUnavailablePreview</name>
    <message>
        <source>No preview</source>
        <translation>Keine Vorschau</translation>
    </message>
    <message>
        <source>The preview needs Qt Multimedia&apos;s %1 backend, which is not installed (package libqt6multimedia6). Converting works without it.</source>
        <translation>Die Vorschau braucht das %1-Backend von Qt Multimedia, das nicht installiert ist (Paket libqt6multimedia6). Konvertieren geht auch ohne.</translation>
    </message>
</context>
<context>
    <name>TQtEndCountdown</name>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
</context>
<context>
    <name>TQtPrompts</name>
    <message>
        <source>&amp;Copy</source>
        <translation>&amp;Kopieren</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
</context>
<context>
    <name>fennick</name>
    <message>
        <source>Done</source>
        <translation>Fertig</translation>
    </message>
    <message>
        <source>Fail</source>
        <translation>Fehlgeschlagen</translation>
    </message>
    <message>
        <source>Abort</source>
        <translation>Abgebrochen</translation>
    </message>
    <message>
        <source>Interrupted</source>
        <translation>Unterbrochen</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Ready</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>File Name</source>
        <translation>Dateiname</translation>
    </message>
    <message>
        <source>Video Size</source>
        <translation>Videogröße</translation>
    </message>
    <message>
        <source>Frame Rate</source>
        <translation>Bildrate</translation>
    </message>
    <message>
        <source>Duration</source>
        <translation>Dauer</translation>
    </message>
    <message>
        <source>Output</source>
        <translation>Ausgabe</translation>
    </message>
    <message>
        <source>Progress</source>
        <translation>Fortschritt</translation>
    </message>
    <message>
        <source>Frames</source>
        <translation>Bilder</translation>
    </message>
    <message>
        <source>Original</source>
        <translation>Original</translation>
    </message>
    <message>
        <source>Original Video Size</source>
        <translation>Originalgröße</translation>
    </message>
    <message>
        <source>Auto</source>
        <translation>Automatisch</translation>
    </message>
    <message>
        <source>Stereo</source>
        <translation>Stereo</translation>
    </message>
    <message>
        <source>Mono</source>
        <translation>Mono</translation>
    </message>
    <message>
        <source>Best</source>
        <translation>Beste</translation>
    </message>
    <message>
        <source>High</source>
        <translation>Hoch</translation>
    </message>
    <message>
        <source>Medium</source>
        <translation>Mittel</translation>
    </message>
    <message>
        <source>Small</source>
        <translation>Klein</translation>
    </message>
    <message>
        <source>Lossless</source>
        <translation>Verlustfrei</translation>
    </message>
    <message>
        <source>Faster</source>
        <translation>Schneller</translation>
    </message>
    <message>
        <source>Balanced</source>
        <translation>Ausgewogen</translation>
    </message>
    <message>
        <source>Smaller Files</source>
        <translation>Kleinere Dateien</translation>
    </message>
    <message>
        <source>None</source>
        <translation>Keine</translation>
    </message>
    <message>
        <source>LetterBox</source>
        <translation>Letterbox</translation>
    </message>
    <message>
        <source>Keep</source>
        <translation>Beibehalten</translation>
    </message>
    <message>
        <source>4:3 (Standard</source>
        <translation>4:3 (Standard)</translation>
    </message>
    <message>
        <source>16:9 (Wide Screen)</source>
        <translation>16:9 (Breitbild)</translation>
    </message>
    <message>
        <source>Do nothing</source>
        <translation>Nichts tun</translation>
    </message>
    <message>
        <source>Quit</source>
        <translation>Programm beenden</translation>
    </message>
    <message>
        <source>Suspend</source>
        <translation>Bereitschaft</translation>
    </message>
    <message>
        <source>Power off</source>
        <translation>Ausschalten</translation>
    </message>
    <message>
        <source>All Supported Files</source>
        <translation>Alle unterstützten Dateien</translation>
    </message>
    <message>
        <source>3GPP Files (*.3gp)</source>
        <translation>3GPP-Dateien (*.3gp)</translation>
    </message>
    <message>
        <source>3GPP2 Files (*.3g2)</source>
        <translation>3GPP2-Dateien (*.3g2)</translation>
    </message>
    <message>
        <source>AAC Files (*.aac)</source>
        <translation>AAC-Dateien (*.aac)</translation>
    </message>
    <message>
        <source>AC3 Files (*.ac3)</source>
        <translation>AC3-Dateien (*.ac3)</translation>
    </message>
    <message>
        <source>Audio CD Files (*.cda)</source>
        <translation>Audio-CD-Dateien (*.cda)</translation>
    </message>
    <message>
        <source>AVI Files (*.avi)</source>
        <translation>AVI-Dateien (*.avi)</translation>
    </message>
    <message>
        <source>DV Video Files (*.dv, *.dif)</source>
        <translation>DV-Videodateien (*.dv, *.dif)</translation>
    </message>
    <message>
        <source>DVD VOB Files (*.vob)</source>
        <translation>DVD VOB-Dateien (*.vob)</translation>
    </message>
    <message>
        <source>GIF Animated Files (*.gif)</source>
        <translation>Animierte GIF-Dateien (*.gif)</translation>
    </message>
    <message>
        <source>Macromedia Flash Files (*.flv, *.swf)</source>
        <translation>Macromedia-Flash-Dateien (*.flv, *.swf)</translation>
    </message>
    <message>
        <source>Monkey Audio Files (*.ape, *.cue)</source>
        <translation>Monkey-Audio-Dateien (*.ape, *.cue)</translation>
    </message>
    <message>
        <source>MJpeg Video Files (*.mjpg, *.mjpeg)</source>
        <translation>MJPEG-Videodateien (*.mjpg, *.mjpeg)</translation>
    </message>
    <message>
        <source>MP2 Files (*.mp2)</source>
        <translation>MP2-Dateien (*.mp2)</translation>
    </message>
    <message>
        <source>MP3 Files (*.mp3)</source>
        <translation>MP3-Dateien (*.mp3)</translation>
    </message>
    <message>
        <source>MPEG Files (*.mpeg, *.mpg, *.mpa, *.m1v, *.mv2)</source>
        <translation>MPEG-Dateien (*.mpeg, *.mpg, *.mpa, *.m1v, *.mv2)</translation>
    </message>
    <message>
        <source>MPEG-4 Files (*.mp4)</source>
        <translation>MPEG-4-Dateien (*.mp4)</translation>
    </message>
    <message>
        <source>MPEG-4 Audio Files (*.m4a, *.mp4)</source>
        <translation>MPEG-4-Audiodateien (*.m4a, *.mp4)</translation>
    </message>
    <message>
        <source>Ogg Vorbis Files (*.ogg)</source>
        <translation>Ogg-Vorbis-Dateien (*.ogg)</translation>
    </message>
    <message>
        <source>RealMedia Files (*.rm, *.rmvb, *.ram, *.ra)</source>
        <translation>RealMedia-Dateien (*.rm, *.rmvb, *.ram, *.ra)</translation>
    </message>
    <message>
        <source>QuickTime Files (*.mov, *.qt)</source>
        <translation>QuickTime-Dateien (*.mov, *.qt)</translation>
    </message>
    <message>
        <source>VCD DAT Files (*.dat)</source>
        <translation>VCD-DAT-Dateien (*.dat)</translation>
    </message>
    <message>
        <source>WAV Files (*.wav, *.au, *.aiff)</source>
        <translation>WAV-Dateien (*.wav, *.au, *.aiff)</translation>
    </message>
    <message>
        <source>Windows Media Files(*.wma, *.wmv, *.asf, *.asx)</source>
        <translation>Windows-Media-Dateien (*.wma, *.wmv, *.asf, *.asx)</translation>
    </message>
    <message>
        <source>Matroska Files (*.mkv, *.mka, *.mk3d)</source>
        <translation>Matroska-Dateien (*.mkv, *.mka, *.mk3d)</translation>
    </message>
    <message>
        <source>WebM Files (*.webm)</source>
        <translation>WebM-Dateien (*.webm)</translation>
    </message>
    <message>
        <source>MPEG-4 Video Files (*.m4v, *.f4v)</source>
        <translation>MPEG-4-Videodateien (*.m4v, *.f4v)</translation>
    </message>
    <message>
        <source>MPEG Transport Stream Files (*.ts, *.mts, *.m2ts, *.m2t)</source>
        <translation>MPEG-Transport-Stream-Dateien (*.ts, *.mts, *.m2ts, *.m2t)</translation>
    </message>
    <message>
        <source>MPEG Video Files (*.m2v, *.mpv, *.mod, *.tod, *.vro)</source>
        <translation>MPEG-Videodateien (*.m2v, *.mpv, *.mod, *.tod, *.vro)</translation>
    </message>
    <message>
        <source>Ogg Files (*.ogv, *.oga, *.ogx, *.ogm, *.spx)</source>
        <translation>Ogg-Dateien (*.ogv, *.oga, *.ogx, *.ogm, *.spx)</translation>
    </message>
    <message>
        <source>Opus Files (*.opus)</source>
        <translation>Opus-Dateien (*.opus)</translation>
    </message>
    <message>
        <source>FLAC Files (*.flac)</source>
        <translation>FLAC-Dateien (*.flac)</translation>
    </message>
    <message>
        <source>Other Audio Files (*.wv, *.tta, *.mpc, *.m4b, *.aif, *.aifc, *.caf, *.amr, *.awb, *.dts, *.eac3, *.thd, *.w64, *.voc, *.mp1)</source>
        <translation>Andere Audiodateien (*.wv, *.tta, *.mpc, *.m4b, *.aif, *.aifc, *.caf, *.amr, *.awb, *.dts, *.eac3, *.thd, *.w64, *.voc, *.mp1)</translation>
    </message>
    <message>
        <source>Other Video Files (*.mxf, *.nut, *.wtv, *.dvr-ms, *.y4m, *.ivf, *.divx, *.amv, *.3gpp, *.264, *.h264, *.265, *.h265, *.hevc)</source>
        <translation>Andere Videodateien (*.mxf, *.nut, *.wtv, *.dvr-ms, *.y4m, *.ivf, *.divx, *.amv, *.3gpp, *.264, *.h264, *.265, *.h265, *.hevc)</translation>
    </message>
    <message>
        <source>All files (*)</source>
        <translation>Alle Dateien (*)</translation>
    </message>
</context>
<context>
    <name>fennick::TFileListModel</name>
    <message>
        <source>The row's menu: Show Log</source>
        <translation>Menü der Zeile: Protokoll zeigen</translation>
    </message>
    <message>
        <source>Expected size: about %1</source>
        <translation>Erwartete Größe: etwa %1</translation>
    </message>
    <message>
        <source>Audio Track %1</source>
        <translation>Tonspur %1</translation>
    </message>
</context>
<context>
    <name>fennick::TForm1</name>
    <message>
        <source>Show &amp;Log</source>
        <translation>&amp;Protokoll zeigen</translation>
    </message>
    <message>
        <source>&amp;Move Up</source>
        <translation>Nach &amp;oben</translation>
    </message>
    <message>
        <source>Move Dow&amp;n</source>
        <translation>Nach &amp;unten</translation>
    </message>
    <message>
        <source>Stop &amp;Now</source>
        <translation>&amp;Sofort anhalten</translation>
    </message>
    <message>
        <source>Stop &amp;After Current File(s)</source>
        <translation>Nach der &amp;laufenden Datei anhalten</translation>
    </message>
    <message>
        <source>&amp;Pause</source>
        <translation>&amp;Pause</translation>
    </message>
    <message>
        <source>&amp;Resume</source>
        <translation>&amp;Fortsetzen</translation>
    </message>
    <message>
        <source>&amp;Add File</source>
        <translation>Hin&amp;zufügen</translation>
    </message>
    <message>
        <source>Add Fol&amp;der…</source>
        <translation>&amp;Ordner hinzufügen…</translation>
    </message>
    <message>
        <source>&amp;Remove</source>
        <translation>&amp;Entfernen</translation>
    </message>
    <message>
        <source>C&amp;lear</source>
        <translation>&amp;Leeren</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Stopp</translation>
    </message>
    <message>
        <source>&amp;Convert</source>
        <translation>&amp;Konvertieren</translation>
    </message>
    <message>
        <source>Choose Output Format</source>
        <translation>Ausgabeformat wählen</translation>
    </message>
    <message>
        <source>Choose Output Folder</source>
        <translation>Ausgabeordner wählen</translation>
    </message>
    <message>
        <source>Output Forma&amp;t :</source>
        <translation>Ausgabe&amp;format :</translation>
    </message>
    <message>
        <source>Output Fol&amp;der :</source>
        <translation>Ausgabeo&amp;rdner :</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Abspielen</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Stop</source>
        <translation>Stopp</translation>
    </message>
    <message>
        <source>Position</source>
        <translation>Position</translation>
    </message>
    <message>
        <source> Video Settings </source>
        <translation> Videoeinstellungen </translation>
    </message>
    <message>
        <source>Video &amp;Quality :</source>
        <translation>Video&amp;qualität :</translation>
    </message>
    <message>
        <source>&amp;Video Codec :</source>
        <translation>&amp;Videocodec :</translation>
    </message>
    <message>
        <source>Video Si&amp;ze :</source>
        <translation>Video&amp;größe :</translation>
    </message>
    <message>
        <source>Fra&amp;merate :</source>
        <translation>&amp;Bildrate :</translation>
    </message>
    <message>
        <source>Encoder &amp;Speed :</source>
        <translation>Encoder-&amp;Tempo :</translation>
    </message>
    <message>
        <source> Audio Settings </source>
        <translation> Audioeinstellungen </translation>
    </message>
    <message>
        <source>Aud&amp;io  Quality : </source>
        <translation>Aud&amp;ioqualität : </translation>
    </message>
    <message>
        <source>Audio Cod&amp;ec :</source>
        <translation>Audio&amp;codec :</translation>
    </message>
    <message>
        <source>Audio Cha&amp;nnels :</source>
        <translation>Audioka&amp;näle :</translation>
    </message>
    <message>
        <source>Sam&amp;pling Rate :</source>
        <translation>&amp;Abtastrate :</translation>
    </message>
    <message>
        <source>Vol&amp;ume</source>
        <translation>La&amp;utstärke</translation>
    </message>
    <message>
        <source>&amp;File</source>
        <translation>&amp;Datei</translation>
    </message>
    <message>
        <source>&amp;Go Convert</source>
        <translation>Konvertierung &amp;starten</translation>
    </message>
    <message>
        <source>&amp;Open Output Folder</source>
        <translation>Ausgabeordner ö&amp;ffnen</translation>
    </message>
    <message>
        <source>E&amp;xit</source>
        <translation>&amp;Beenden</translation>
    </message>
    <message>
        <source>&amp;Options</source>
        <translation>&amp;Optionen</translation>
    </message>
    <message>
        <source>&amp;Set Additional Options</source>
        <translation>&amp;Zusätzliche Optionen festlegen</translation>
    </message>
    <message>
        <source>Save Settings as &amp;Preset…</source>
        <translation>Einstellungen als Vorlage &amp;speichern…</translation>
    </message>
    <message>
        <source>P&amp;resets…</source>
        <translation>&amp;Vorlagen…</translation>
    </message>
    <message>
        <source>&amp;Help</source>
        <translation>&amp;Hilfe</translation>
    </message>
    <message>
        <source>Open &amp;HelpFile</source>
        <translation>&amp;Hilfe öffnen</translation>
    </message>
    <message>
        <source>&amp;Visit Our Website</source>
        <translation>Unsere &amp;Website besuchen</translation>
    </message>
    <message>
        <source>&amp;About</source>
        <translation>&amp;Über</translation>
    </message>
    <message>
        <source>&amp;Check All Items</source>
        <translation>Alle Einträge &amp;ankreuzen</translation>
    </message>
    <message>
        <source>&amp;Uncheck All Items</source>
        <translation>Alle Kreuze &amp;entfernen</translation>
    </message>
    <message>
        <source>Remove &amp;Selected Items</source>
        <translation>&amp;Markierte Einträge entfernen</translation>
    </message>
    <message>
        <source>Remove &amp;All Items</source>
        <translation>A&amp;lle Einträge entfernen</translation>
    </message>
    <message>
        <source>&amp;Play Selected File</source>
        <translation>Markierte Datei a&amp;bspielen</translation>
    </message>
    <message>
        <source>Audio &amp;Track</source>
        <translation>&amp;Tonspur</translation>
    </message>
    <message>
        <source>&amp;Keep Current Settings for Selected Rows</source>
        <translation>Aktuelle Einstellungen für markierte Zeilen fest&amp;halten</translation>
    </message>
    <message>
        <source>Use &amp;Window Settings</source>
        <translation>Fenstereinstellungen &amp;verwenden</translation>
    </message>
    <message>
        <source>Output Folder</source>
        <translation>Ausgabeordner</translation>
    </message>
    <message>
        <source>Output Folder
%1</source>
        <translation>Ausgabeordner
%1</translation>
    </message>
</context>
<context>
    <name>fennick::TForm4</name>
    <message>
        <source>Example: %1</source>
        <translation>Beispiel: %1</translation>
    </message>
    <message>
        <source>Additional Options</source>
        <translation>Zusätzliche Optionen</translation>
    </message>
    <message>
        <source> Video Options </source>
        <translation> Videooptionen </translation>
    </message>
    <message>
        <source>&amp;Video Zoom : </source>
        <translation>&amp;Video-Zoom : </translation>
    </message>
    <message>
        <source>&amp;Aspect Ratio : </source>
        <translation>&amp;Seitenverhältnis : </translation>
    </message>
    <message>
        <source>&amp;Subtitles : </source>
        <translation>&amp;Untertitel : </translation>
    </message>
    <message>
        <source> General Options </source>
        <translation> Allgemeine Optionen </translation>
    </message>
    <message>
        <source>&amp;Overwrite Existing File With The Same Name</source>
        <translation>Vorhandene Datei gleichen Namens &amp;überschreiben</translation>
    </message>
    <message>
        <source>Drop Down &amp;Items in Output Format List</source>
        <translation>Sichtbare Einträge der Ausgabeformat&amp;liste</translation>
    </message>
    <message>
        <source>{name} source name, {ext} its extension, {format} output format, {width} {height} picture size, {date} today, {n} row number</source>
        <translation>{name} Name der Quelle, {ext} ihre Endung, {format} Ausgabeformat, {width} {height} Bildgröße, {date} heute, {n} Zeilennummer</translation>
    </message>
    <message>
        <source>Output &amp;Name Pattern : </source>
        <translation>Muster für &amp;Ausgabenamen : </translation>
    </message>
    <message>
        <source>&amp;Keep the folders of dropped folders</source>
        <translation>&amp;Ordnerstruktur abgelegter Ordner beibehalten</translation>
    </message>
    <message>
        <source>Convert &amp;up to %1 files at once</source>
        <translation>&amp;Bis zu %1 Dateien gleichzeitig konvertieren</translation>
    </message>
    <message>
        <source>When the run &amp;ends:</source>
        <translation>Wenn die Konvertierung &amp;endet:</translation>
    </message>
    <message>
        <source>&amp;Done</source>
        <translation>&amp;Fertig</translation>
    </message>
</context>
<context>
    <name>fennick::TFormAbout</name>
    <message>
        <source>About</source>
        <translation>Über</translation>
    </message>
    <message>
        <source>Version %1</source>
        <translation>Version %1</translation>
    </message>
    <message>
        <source>Visit our Website</source>
        <translation>Unsere Website besuchen</translation>
    </message>
    <message>
        <source>Contact Support Department</source>
        <translation>Kundendienst kontaktieren</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
<context>
    <name>fennick::TPresetsDialog</name>
    <message>
        <source>Presets</source>
        <translation>Vorlagen</translation>
    </message>
    <message>
        <source>&amp;Saved presets:</source>
        <translation>&amp;Gespeicherte Vorlagen:</translation>
    </message>
    <message>
        <source>&amp;Rename...</source>
        <translation>&amp;Umbenennen …</translation>
    </message>
    <message>
        <source>&amp;Delete</source>
        <translation>&amp;Löschen</translation>
    </message>
    <message>
        <source>&amp;Close</source>
        <translation>&amp;Schließen</translation>
    </message>
</context>
</TS>
