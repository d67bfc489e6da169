<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en">
  <context>
    <name>AppLanguage</name>
    <message>
      <source>System Default</source>
      <translation>Systemstandard</translation>
    </message>
  </context>
  <context>
    <name>CutoutErrors</name>
    <message>
      <source>Failed to generate a mask from the detected subject: </source>
      <translation>Aus dem erkannten Motiv konnte keine Maske erzeugt werden: </translation>
    </message>
    <message>
      <source>No foreground subject was detected in the image.</source>
      <translation>Im Bild wurde kein Motiv im Vordergrund erkannt.</translation>
    </message>
    <message>
      <source>The image could not be prepared from the subject mask: </source>
      <translation>Das Bild konnte nicht aus der Motivmaske erstellt werden: </translation>
    </message>
    <message>
      <source>Subject detection failed: </source>
      <translation>Motiverkennung fehlgeschlagen: </translation>
    </message>
  </context>
  <context>
    <name>ConversionError</name>
    <message>
      <source>Image decoding failed</source>
      <translation>Bild konnte nicht dekodiert werden</translation>
    </message>
    <message>
      <source>TGA export failed: %1</source>
      <translation>TGA-Export fehlgeschlagen: %1</translation>
    </message>
    <message>
      <source>Output file was not created</source>
      <translation>Die Ausgabedatei wurde nicht erstellt</translation>
    </message>
    <message>
      <source>The encoder could not convert this file (exit status %1): %2</source>
      <translation>Der Encoder konnte diese Datei nicht umwandeln (Exit-Status %1): %2</translation>
    </message>
    <message>
      <source>The WebP encoder could not convert this file (exit status %1): %2</source>
      <translation>Der WebP-Encoder konnte diese Datei nicht umwandeln (Exit-Status %1): %2</translation>
    </message>
    <message>
      <source>The JPEG encoder could not convert this file (exit status %1): %2</source>
      <translation>Der JPEG-Encoder konnte diese Datei nicht umwandeln (Exit-Status %1): %2</translation>
    </message>
    <message>
      <source>The AVIF encoder could not convert this file (exit status %1): %2</source>
      <translation>Der AVIF-Encoder konnte diese Datei nicht umwandeln (Exit-Status %1): %2</translation>
    </message>
    <message>
      <source>The HEIC encoder could not convert this file (exit status %1): %2</source>
      <translation>Der HEIC-Encoder konnte diese Datei nicht umwandeln (Exit-Status %1): %2</translation>
    </message>
    <message>
      <source>The PNG optimiser could not convert this file (exit status %1): %2</source>
      <translation>Der PNG-Optimierer konnte diese Datei nicht umwandeln (Exit-Status %1): %2</translation>
    </message>
  </context>
  <context>
    <name>CompressDriver</name>
    <message>
      <source>Cancelling conversion</source>
      <translation>Konvertierung wird abgebrochen</translation>
    </message>
  </context>
  <context>
    <name>CutoutMode</name>
    <message>
      <source>Clean Edges</source>
      <translation>Saubere Kanten</translation>
    </message>
    <message>
      <source>Lossless</source>
      <translation>Verlustfrei</translation>
    </message>
    <message>
      <source>Clean Edges: AI person matting with halo-free, smooth edges — best for photos of people. Lossless: subject mask only; foreground pixels stay byte-for-byte identical.</source>
      <translation>Saubere Kanten: KI-Freistellung von Personen mit glatten Kanten ohne Lichtsaum – ideal für Personenfotos. Verlustfrei: nur die Motivmaske; die Pixel im Vordergrund bleiben Byte für Byte unverändert.</translation>
    </message>
  </context>
  <context>
    <name>CutoutPipeline</name>
    <message>
      <source>Could not read source image at %1.</source>
      <translation>Das Quellbild unter %1 konnte nicht gelesen werden.</translation>
    </message>
  </context>
  <context>
    <name>CutoutDriver</name>
    <message>
      <source>Mask export failed: </source>
      <translation>Export der Maske fehlgeschlagen: </translation>
    </message>
    <message>
      <source>Cancelling processing</source>
      <translation>Verarbeitung wird abgebrochen</translation>
    </message>
  </context>
  <context>
    <name>Error</name>
    <message>
      <source>Not enough memory for this image.</source>
      <translation>Nicht genug Arbeitsspeicher für dieses Bild.</translation>
    </message>
    <message>
      <source>Unknown error.</source>
      <translation>Unbekannter Fehler.</translation>
    </message>
  </context>
  <context>
    <name>UpscaleErrors</name>
    <message>
      <source>AI upscale model (</source>
      <translation>Das KI-Hochskalierungsmodell (</translation>
    </message>
    <message>
      <source>) is not installed. Install the glintwork-models package, or run scripts/setup-models in a source checkout.</source>
      <translation>) ist nicht installiert. Installieren Sie das Paket glintwork-models oder führen Sie in einem Quellcode-Checkout scripts/setup-models aus.</translation>
    </message>
    <message>
      <source>Upscale inference failed: </source>
      <translation>Hochskalierung fehlgeschlagen: </translation>
    </message>
  </context>
  <context>
    <name>DropZoneView</name>
    <message>
      <source>Images</source>
      <translation>Bilder</translation>
    </message>
  </context>
  <context>
    <name>FileService</name>
    <message>
      <source>Could not create the folder %1: %2</source>
      <translation>Der Ordner %1 konnte nicht erstellt werden: %2</translation>
    </message>
  </context>
  <context>
    <name>ImageConverter</name>
    <message>
      <source>Could not write to the folder %1: %2</source>
      <translation>In den Ordner %1 kann nicht geschrieben werden: %2</translation>
    </message>
    <message>
      <source>Could not write the output file: %1</source>
      <translation>Die Ausgabedatei konnte nicht geschrieben werden: %1</translation>
    </message>
    <message>
      <source>Could not find a free name for %1</source>
      <translation>Für %1 wurde kein freier Name gefunden</translation>
    </message>
  </context>
  <context>
    <name>ImageServices</name>
    <message>
      <source>%1: %2</source>
      <translation>%1: %2</translation>
    </message>
  </context>
  <context>
    <name>MoveWithoutReplacing</name>
    <message>
      <source>Could not save %1: %2</source>
      <translation>%1 konnte nicht gesichert werden: %2</translation>
    </message>
  </context>
  <context>
    <name>NamingMode</name>
    <message>
      <source>Original</source>
      <translation>Original</translation>
    </message>
    <message>
      <source>Suffix</source>
      <translation>Suffix</translation>
    </message>
    <message>
      <source>Custom</source>
      <translation>Eigener</translation>
    </message>
  </context>
  <context>
    <name>OutputFolderRow</name>
    <message>
      <source>(Same folder as input)</source>
      <translation>(Gleicher Ordner wie die Eingabe)</translation>
    </message>
  </context>
  <context>
    <name>PNGQuantizer</name>
    <message>
      <source>Image decoding failed</source>
      <translation>Bild konnte nicht dekodiert werden</translation>
    </message>
    <message>
      <source>Pixel buffer creation failed</source>
      <translation>Pixelpuffer konnte nicht erstellt werden</translation>
    </message>
    <message>
      <source>Color quantization failed</source>
      <translation>Farbreduktion fehlgeschlagen</translation>
    </message>
    <message>
      <source>PNG write failed</source>
      <translation>PNG konnte nicht geschrieben werden</translation>
    </message>
  </context>
  <context>
    <name>StatusCell</name>
    <message>
      <source>Waiting</source>
      <translation>Wartet</translation>
    </message>
    <message>
      <source>Done</source>
      <translation>Fertig</translation>
    </message>
    <message>
      <source>Cancelled</source>
      <translation>Abgebrochen</translation>
    </message>
    <message>
      <source>Error</source>
      <translation>Fehler</translation>
    </message>
  </context>
  <context>
    <name>TabKind</name>
    <message>
      <source>Compress</source>
      <translation>Komprimieren</translation>
    </message>
    <message>
      <source>Cutout</source>
      <translation>Freistellen</translation>
    </message>
    <message>
      <source>Upscale</source>
      <translation>Hochskalieren</translation>
    </message>
  </context>
  <context>
    <name>ToolManager</name>
    <message>
      <source>The program&apos;s resource folder is missing from the installation.</source>
      <translation>Der Ressourcenordner des Programms fehlt in der Installation.</translation>
    </message>
    <message>
      <source>The helper program &apos;%1&apos; is missing from the installation (it belongs in Resources/bin).</source>
      <translation>Das Hilfsprogramm „%1“ fehlt in der Installation (es gehört nach Resources/bin).</translation>
    </message>
  </context>
  <context>
    <name>UpscaleModel</name>
    <message>
      <source>General 4x</source>
      <translation>Allgemein 4x</translation>
    </message>
    <message>
      <source>Anime / Illustration 4x</source>
      <translation>Anime / Illustration 4x</translation>
    </message>
    <message>
      <source>General 2x</source>
      <translation>Allgemein 2x</translation>
    </message>
    <message>
      <source>General 4x (fast)</source>
      <translation>Allgemein 4x (schnell)</translation>
    </message>
    <message>
      <source>Anime / Illustration 4x (fast)</source>
      <translation>Anime / Illustration 4x (schnell)</translation>
    </message>
    <message>
      <source>Anime / Illustration 2x</source>
      <translation>Anime / Illustration 2x</translation>
    </message>
  </context>
  <context>
    <name>UpscaleOutputFormat</name>
    <message>
      <source>PNG</source>
      <translation>PNG</translation>
    </message>
    <message>
      <source>JPEG</source>
      <translation>JPEG</translation>
    </message>
  </context>
  <context>
    <name>UpscalePipeline</name>
    <message>
      <source>Could not read source image at </source>
      <translation>Das Quellbild konnte nicht gelesen werden: </translation>
    </message>
    <message>
      <source>Failed to write upscaled image to </source>
      <translation>Das hochskalierte Bild konnte nicht geschrieben werden nach </translation>
    </message>
    <message>
      <source>Failed to merge upscaled tiles into final image.</source>
      <translation>Die hochskalierten Kacheln konnten nicht zum fertigen Bild zusammengefügt werden.</translation>
    </message>
    <message>
      <source>The upscaled image would be %1 × %2 pixels, more than the %3 megapixels this program holds in memory.</source>
      <translation>Das hochskalierte Bild wäre %1 × %2 Pixel groß, mehr als die %3 Megapixel, die dieses Programm im Speicher halten kann.</translation>
    </message>
  </context>
  <context>
    <name>UpscaleQuality</name>
    <message>
      <source>Best</source>
      <translation>Beste</translation>
    </message>
    <message>
      <source>Fast</source>
      <translation>Schnell</translation>
    </message>
  </context>
  <context>
    <name>UpscaleStyle</name>
    <message>
      <source>Auto</source>
      <translation>Automatisch</translation>
    </message>
    <message>
      <source>General photo</source>
      <translation>Allgemeines Foto</translation>
    </message>
    <message>
      <source>Anime / Illustration</source>
      <translation>Anime / Illustration</translation>
    </message>
  </context>
  <context>
    <name>UpscaleDriver</name>
    <message>
      <source>Cancelling upscaling</source>
      <translation>Hochskalierung wird abgebrochen</translation>
    </message>
  </context>
  <context>
    <name>glintwork::AcknowledgementsView</name>
    <message>
      <source>Acknowledgements</source>
      <translation>Danksagungen</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>Schließen</translation>
    </message>
    <message>
      <source>Third-party license information is unavailable.</source>
      <translation>Informationen zu Lizenzen von Drittanbietern sind nicht verfügbar.</translation>
    </message>
  </context>
  <context>
    <name>glintwork::AppSettingsView</name>
    <message>
      <source>Settings</source>
      <translation>Einstellungen</translation>
    </message>
    <message>
      <source>Language</source>
      <translation>Sprache</translation>
    </message>
    <message>
      <source>Language changes take effect after you restart Glintwork.</source>
      <translation>Sprachänderungen werden nach einem Neustart von Glintwork wirksam.</translation>
    </message>
    <message>
      <source>About</source>
      <translation>Über</translation>
    </message>
    <message>
      <source>Acknowledgements</source>
      <translation>Danksagungen</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>Schließen</translation>
    </message>
    <message>
      <source>Restart Required</source>
      <translation>Neustart erforderlich</translation>
    </message>
    <message>
      <source>Language changes take effect after restarting Glintwork.</source>
      <translation>Sprachänderungen werden nach dem Neustart von Glintwork wirksam.</translation>
    </message>
    <message>
      <source>Quit Now</source>
      <translation>Jetzt beenden</translation>
    </message>
    <message>
      <source>Later</source>
      <translation>Später</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchListModel</name>
    <message>
      <source>%1 percent</source>
      <translation>%1 Prozent</translation>
    </message>
    <message>
      <source>File</source>
      <translation>Datei</translation>
    </message>
    <message>
      <source>Convert</source>
      <translation>Umwandlung</translation>
    </message>
    <message>
      <source>Size</source>
      <translation>Größe</translation>
    </message>
    <message>
      <source>Ratio</source>
      <translation>Anteil</translation>
    </message>
    <message>
      <source>Status</source>
      <translation>Status</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchListView</name>
    <message>
      <source>Delete</source>
      <translation>Löschen</translation>
    </message>
    <message>
      <source>%1 %</source>
      <translation>%1 %</translation>
    </message>
    <message>
      <source>File Failed</source>
      <translation>Datei fehlgeschlagen</translation>
    </message>
    <message>
      <source>Warning</source>
      <translation>Warnung</translation>
    </message>
    <message>
      <source>%1 could not be processed.</source>
      <translation>%1 konnte nicht verarbeitet werden.</translation>
    </message>
    <message>
      <source>%1 was written, with a warning.</source>
      <translation>%1 wurde geschrieben, mit einer Warnung.</translation>
    </message>
    <message>
      <source>OK</source>
      <translation>OK</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchSummaryView</name>
    <message>
      <source>%1/%2 files</source>
      <translation>%1/%2 Dateien</translation>
    </message>
    <message>
      <source>Less than a minute left</source>
      <translation>Weniger als eine Minute übrig</translation>
    </message>
    <message numerus="yes">
      <source>About %n min left</source>
      <translation><numerusform>Noch etwa %n Min.</numerusform><numerusform>Noch etwa %n Min.</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>About %n h left</source>
      <translation><numerusform>Noch etwa %n Std.</numerusform><numerusform>Noch etwa %n Std.</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n failed</source>
      <translation><numerusform>%n fehlgeschlagen</numerusform><numerusform>%n fehlgeschlagen</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n cancelled</source>
      <translation><numerusform>%n abgebrochen</numerusform><numerusform>%n abgebrochen</numerusform></translation>
    </message>
  </context>
  <context>
    <name>glintwork::BatchToolView</name>
    <message>
      <source>Open in File Manager</source>
      <translation>In Dateiverwaltung öffnen</translation>
    </message>
    <message>
      <source>Clear</source>
      <translation>Leeren</translation>
    </message>
    <message>
      <source>Cancel</source>
      <translation>Abbrechen</translation>
    </message>
    <message>
      <source>Cancelling…</source>
      <translation>Wird abgebrochen…</translation>
    </message>
    <message>
      <source>%1: %2</source>
      <translation>%1: %2</translation>
    </message>
    <message numerus="yes">
      <source>and %n more</source>
      <translation><numerusform>und %n weitere</numerusform><numerusform>und %n weitere</numerusform></translation>
    </message>
    <message>
      <source>Some files could not be added</source>
      <translation>Einige Dateien konnten nicht hinzugefügt werden</translation>
    </message>
    <message numerus="yes">
      <source>%n item(s) could not be added:</source>
      <translation><numerusform>%n Objekt konnte nicht hinzugefügt werden:</numerusform><numerusform>%n Objekte konnten nicht hinzugefügt werden:</numerusform></translation>
    </message>
    <message>
      <source>All files are done — clear the list or add files</source>
      <translation>Alle Dateien sind fertig – Liste leeren oder Dateien hinzufügen</translation>
    </message>
    <message>
      <source>Run All Again</source>
      <translation>Alle erneut ausführen</translation>
    </message>
    <message>
      <source>No File Manager</source>
      <translation>Kein Dateimanager</translation>
    </message>
    <message>
      <source>No file manager is set up to open folders.</source>
      <translation>Es ist kein Dateimanager zum Öffnen von Ordnern eingerichtet.</translation>
    </message>
    <message>
      <source>The output folder is %1</source>
      <translation>Der Ausgabeordner ist %1</translation>
    </message>
    <message>
      <source>Copy Path</source>
      <translation>Pfad kopieren</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>Schließen</translation>
    </message>
  </context>
  <context>
    <name>glintwork::BeforeAfterView</name>
    <message>
      <source>Before and after</source>
      <translation>Vorher und nachher</translation>
    </message>
    <message>
      <source>Drag to compare — left: original, right: upscaled</source>
      <translation>Zum Vergleichen ziehen – links: Original, rechts: vergrößert</translation>
    </message>
    <message>
      <source>Before</source>
      <translation>Vorher</translation>
    </message>
    <message>
      <source>After</source>
      <translation>Nachher</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CompactDropZoneView</name>
    <message>
      <source>Drop additional images here</source>
      <translation>Weitere Bilder hier ablegen</translation>
    </message>
    <message>
      <source>Add images (drag &amp; drop)</source>
      <translation>Bilder hinzufügen (Drag &amp; Drop)</translation>
    </message>
    <message>
      <source>Click to choose images, or drop them here</source>
      <translation>Klicken, um Bilder auszuwählen, oder hier ablegen</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CompressSettingsBar</name>
    <message>
      <source>Format:</source>
      <translation>Format:</translation>
    </message>
    <message>
      <source>Quality:</source>
      <translation>Qualität:</translation>
    </message>
    <message>
      <source>Quality</source>
      <translation>Qualität</translation>
    </message>
    <message>
      <source>Resize</source>
      <translation>Größe ändern</translation>
    </message>
    <message>
      <source>Max width:</source>
      <translation>Max. Breite:</translation>
    </message>
    <message>
      <source>Max height:</source>
      <translation>Max. Höhe:</translation>
    </message>
    <message>
      <source>px</source>
      <translation>px</translation>
    </message>
    <message>
      <source>Web Optimal</source>
      <translation>Web-optimiert</translation>
    </message>
    <message>
      <source>Balance</source>
      <translation>Ausgewogen</translation>
    </message>
    <message>
      <source>High Quality</source>
      <translation>Hohe Qualität</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CompressView</name>
    <message>
      <source>Start Conversion</source>
      <translation>Konvertierung starten</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CutoutSettingsBar</name>
    <message>
      <source>Mode:</source>
      <translation>Modus:</translation>
    </message>
    <message>
      <source>Format:</source>
      <translation>Format:</translation>
    </message>
    <message>
      <source>Export mask separately</source>
      <translation>Maske separat exportieren</translation>
    </message>
    <message>
      <source>Writes a grayscale PNG mask alongside the cutout, using the same basename plus -mask.</source>
      <translation>Schreibt neben den Ausschnitt eine PNG-Maske in Graustufen mit demselben Dateinamen plus -mask.</translation>
    </message>
    <message>
      <source>Only plain backgrounds can be cut out: install the segmentation network with scripts/setup-models.</source>
      <translation>Nur einfarbige Hintergründe lassen sich freistellen: Segmentierungsnetz mit scripts/setup-models installieren.</translation>
    </message>
  </context>
  <context>
    <name>glintwork::CutoutView</name>
    <message>
      <source>Processing</source>
      <translation>In Arbeit</translation>
    </message>
    <message>
      <source>Processing...</source>
      <translation>Wird verarbeitet...</translation>
    </message>
    <message>
      <source>Start Processing</source>
      <translation>Verarbeitung starten</translation>
    </message>
  </context>
  <context>
    <name>glintwork::DropZoneView</name>
    <message>
      <source>Drop image files here</source>
      <translation>Bilddateien hier ablegen</translation>
    </message>
    <message>
      <source>Drag &amp; drop images here</source>
      <translation>Bilder hierher ziehen</translation>
    </message>
    <message>
      <source>or</source>
      <translation>oder</translation>
    </message>
    <message>
      <source>Select Files</source>
      <translation>Dateien auswählen</translation>
    </message>
    <message>
      <source>PNG, JPEG, HEIC, WebP, AVIF, TIFF, GIF, BMP</source>
      <translation>PNG, JPEG, HEIC, WebP, AVIF, TIFF, GIF, BMP</translation>
    </message>
  </context>
  <context>
    <name>glintwork::FileListModel</name>
    <message>
      <source>Converting</source>
      <translation>Konvertiert</translation>
    </message>
  </context>
  <context>
    <name>glintwork::MainWindow</name>
    <message>
      <source>Check for Updates…</source>
      <translation>Nach Updates suchen…</translation>
    </message>
    <message>
      <source>Settings…</source>
      <translation>Einstellungen…</translation>
    </message>
    <message>
      <source>Quit Glintwork</source>
      <translation>Glintwork beenden</translation>
    </message>
    <message>
      <source>You&apos;re up to date!</source>
      <translation>Sie sind auf dem neuesten Stand!</translation>
    </message>
    <message>
      <source>Glintwork %1 is currently the newest version available.</source>
      <translation>Glintwork %1 ist die neueste verfügbare Version.</translation>
    </message>
    <message>
      <source>A new version of Glintwork is available!</source>
      <translation>Eine neue Version von Glintwork ist verfügbar!</translation>
    </message>
    <message>
      <source>Glintwork %1 is now available; you have %2.</source>
      <translation>Glintwork %1 ist verfügbar; Sie verwenden %2.</translation>
    </message>
    <message>
      <source>Open Download Page</source>
      <translation>Download-Seite öffnen</translation>
    </message>
    <message>
      <source>Later</source>
      <translation>Später</translation>
    </message>
    <message>
      <source>Update Error!</source>
      <translation>Fehler bei der Update-Suche!</translation>
    </message>
    <message>
      <source>An error occurred while checking for updates: %1</source>
      <translation>Bei der Suche nach Updates ist ein Fehler aufgetreten: %1</translation>
    </message>
    <message>
      <source>Add Folder</source>
      <translation>Ordner hinzufügen</translation>
    </message>
    <message>
      <source>Add Files</source>
      <translation>Dateien hinzufügen</translation>
    </message>
    <message>
      <source>&amp;File</source>
      <translation>&amp;Datei</translation>
    </message>
    <message>
      <source>Add Files…</source>
      <translation>Dateien hinzufügen…</translation>
    </message>
    <message>
      <source>Add Folder…</source>
      <translation>Ordner hinzufügen…</translation>
    </message>
    <message>
      <source>Open Output Folder</source>
      <translation>Ausgabeordner öffnen</translation>
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
      <source>Select All</source>
      <translation>Alles auswählen</translation>
    </message>
    <message>
      <source>Remove</source>
      <translation>Entfernen</translation>
    </message>
    <message>
      <source>Clear List</source>
      <translation>Liste leeren</translation>
    </message>
    <message>
      <source>&amp;Help</source>
      <translation>&amp;Hilfe</translation>
    </message>
    <message>
      <source>About Glintwork</source>
      <translation>Über Glintwork</translation>
    </message>
    <message>
      <source>Cancel the running batch and quit?</source>
      <translation>Laufenden Stapel abbrechen und beenden?</translation>
    </message>
    <message>
      <source>Files not finished yet are not written.</source>
      <translation>Noch nicht fertige Dateien werden nicht geschrieben.</translation>
    </message>
    <message>
      <source>Cancel Batch and Quit</source>
      <translation>Stapel abbrechen und beenden</translation>
    </message>
    <message>
      <source>Keep Running</source>
      <translation>Weiterlaufen lassen</translation>
    </message>
  </context>
  <context>
    <name>glintwork::NamingView</name>
    <message>
      <source>Filename</source>
      <translation>Dateiname</translation>
    </message>
    <message>
      <source>Use original filenames</source>
      <translation>Originale Dateinamen verwenden</translation>
    </message>
    <message>
      <source>Suffix</source>
      <translation>Suffix</translation>
    </message>
    <message>
      <source>Use {scale} to insert the upscale factor (e.g., -upscaled-4x)</source>
      <translation>{scale} fügt den Vergrößerungsfaktor ein (z. B. -upscaled-4x)</translation>
    </message>
    <message>
      <source>Prefix</source>
      <translation>Präfix</translation>
    </message>
    <message>
      <source>Start</source>
      <translation>Start</translation>
    </message>
  </context>
  <context>
    <name>glintwork::OutputFolderRow</name>
    <message>
      <source>Output:</source>
      <translation>Ausgabe:</translation>
    </message>
    <message>
      <source>Change Folder</source>
      <translation>Ordner ändern</translation>
    </message>
    <message>
      <source>Use Input Folder</source>
      <translation>Eingabeordner verwenden</translation>
    </message>
    <message>
      <source>Choose Output Folder</source>
      <translation>Ausgabeordner wählen</translation>
    </message>
  </context>
  <context>
    <name>glintwork::RootView</name>
    <message>
      <source>Settings</source>
      <translation>Einstellungen</translation>
    </message>
    <message numerus="yes">
      <source>%n file(s) compressed</source>
      <translation><numerusform>%n Datei komprimiert</numerusform><numerusform>%n Dateien komprimiert</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n file(s) cut out</source>
      <translation><numerusform>%n Datei freigestellt</numerusform><numerusform>%n Dateien freigestellt</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>%n file(s) upscaled</source>
      <translation><numerusform>%n Datei vergrößert</numerusform><numerusform>%n Dateien vergrößert</numerusform></translation>
    </message>
    <message numerus="yes">
      <source>, %n failed</source>
      <translation><numerusform>, %n fehlgeschlagen</numerusform><numerusform>, %n fehlgeschlagen</numerusform></translation>
    </message>
  </context>
  <context>
    <name>glintwork::SummaryView</name>
    <message>
      <source>Converting...</source>
      <translation>Konvertiert...</translation>
    </message>
  </context>
  <context>
    <name>glintwork::TabBar</name>
    <message>
      <source>Tab</source>
      <translation>Tab</translation>
    </message>
    <message>
      <source>%1 (%2)</source>
      <translation>%1 (%2)</translation>
    </message>
    <message>
      <source>Running</source>
      <translation>Läuft</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpdateChecker</name>
    <message>
      <source>The update feed could not be read.</source>
      <translation>Der Update-Feed konnte nicht gelesen werden.</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpscaleFileListView</name>
    <message>
      <source>Upscaling</source>
      <translation>Wird vergrößert</translation>
    </message>
    <message>
      <source>Preview</source>
      <translation>Vorschau</translation>
    </message>
    <message>
      <source>(fast)</source>
      <translation>(schnell)</translation>
    </message>
    <message>
      <source>%1 × %2</source>
      <translation>%1 × %2</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpscalePreviewView</name>
    <message>
      <source>Close</source>
      <translation>Schließen</translation>
    </message>
    <message>
      <source>Loading</source>
      <translation>Wird geladen</translation>
    </message>
    <message>
      <source>%1 × %2 px (original)</source>
      <translation>%1 × %2 px (Original)</translation>
    </message>
    <message>
      <source>%1 × %2 px</source>
      <translation>%1 × %2 px</translation>
    </message>
    <message>
      <source>Drag to compare — left: original, right: upscaled</source>
      <translation>Zum Vergleichen ziehen – links: Original, rechts: vergrößert</translation>
    </message>
    <message>
      <source>Input preview</source>
      <translation>Vorschau der Eingabe</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpscaleSettingsBar</name>
    <message>
      <source>Format:</source>
      <translation>Format:</translation>
    </message>
    <message>
      <source>Style:</source>
      <translation>Stil:</translation>
    </message>
    <message>
      <source>Scale:</source>
      <translation>Faktor:</translation>
    </message>
    <message>
      <source>Anime / illustration has one 2x network; Quality applies at 4x.</source>
      <translation>Anime / Illustration hat ein einziges 2x-Netz; die Qualität gilt bei 4x.</translation>
    </message>
    <message>
      <source>Quality:</source>
      <translation>Qualität:</translation>
    </message>
  </context>
  <context>
    <name>glintwork::UpscaleView</name>
    <message>
      <source>Upscaling...</source>
      <translation>Wird vergrößert...</translation>
    </message>
    <message>
      <source>Start Upscaling</source>
      <translation>Vergrößerung starten</translation>
    </message>
  </context>
  <context>
    <name>glintwork::AboutView</name>
    <message>
      <source>Version %1</source>
      <translation>Version %1</translation>
    </message>
    <message>
      <source>About Glintwork</source>
      <translation>Über Glintwork</translation>
    </message>
    <message>
      <source>Glintwork ships with these networks, encoders and libraries, each under its own licence:</source>
      <translation>Glintwork enthält diese Netze, Encoder und Bibliotheken, jeweils unter eigener Lizenz:</translation>
    </message>
    <message>
      <source>Component</source>
      <translation>Komponente</translation>
    </message>
    <message>
      <source>Licence</source>
      <translation>Lizenz</translation>
    </message>
    <message>
      <source>Used for</source>
      <translation>Verwendet für</translation>
    </message>
    <message>
      <source>Licence Notes…</source>
      <translation>Lizenzhinweise…</translation>
    </message>
    <message>
      <source>General upscale network</source>
      <translation>Allgemeines Vergrößerungsnetz</translation>
    </message>
    <message>
      <source>Fast upscale network</source>
      <translation>Schnelles Vergrößerungsnetz</translation>
    </message>
    <message>
      <source>Subject detection network for cut-outs</source>
      <translation>Motiverkennungsnetz für Freisteller</translation>
    </message>
    <message>
      <source>WebP encoder</source>
      <translation>WebP-Encoder</translation>
    </message>
    <message>
      <source>JPEG encoder</source>
      <translation>JPEG-Encoder</translation>
    </message>
    <message>
      <source>AVIF encoder</source>
      <translation>AVIF-Encoder</translation>
    </message>
    <message>
      <source>PNG optimiser</source>
      <translation>PNG-Optimierer</translation>
    </message>
    <message>
      <source>Image decoding, encoding and resampling</source>
      <translation>Bilddekodierung, -kodierung und -skalierung</translation>
    </message>
    <message>
      <source>Image processing for cut-outs</source>
      <translation>Bildverarbeitung für Freisteller</translation>
    </message>
    <message>
      <source>Network inference</source>
      <translation>Netzberechnung</translation>
    </message>
    <message>
      <source>Anime upscale networks</source>
      <translation>Vergrößerungsnetze für Anime</translation>
    </message>
    <message>
      <source>User interface</source>
      <translation>Benutzeroberfläche</translation>
    </message>
    <message>
      <source>Close</source>
      <translation>Schließen</translation>
    </message>
  </context>
</TS>
