<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>MessageBoxes</name>
    <message>
        <source>Give Up</source>
        <translation>Aufgeben</translation>
    </message>
</context>
<context>
    <name>Norvik</name>
    <message>
        <source>Warning</source>
        <translation>Warnung</translation>
    </message>
    <message>
        <source>Error</source>
        <translation>Fehler</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>Error ...</source>
        <translation>Fehler ...</translation>
    </message>
    <message>
        <source>No F/W in executable !</source>
        <translation>Keine F/W im Programm !</translation>
    </message>
    <message>
        <source>Device object initialize failed !</source>
        <translation>Initialisierung des Geräteobjekts fehlgeschlagen !</translation>
    </message>
    <message>
        <source>No matched drive detected !
</source>
        <translation>Kein passendes Laufwerk gefunden !
</translation>
    </message>
    <message>
        <source>This utility is only for </source>
        <translation>Dieses Programm ist nur für das Laufwerk </translation>
    </message>
    <message>
        <source> drive.

</source>
        <translation>.

</translation>
    </message>
    <message>
        <source>Detected drives :
</source>
        <translation>Gefundene Laufwerke :
</translation>
    </message>
    <message>
        <source>This program carries only the placeholder flash profiles built from source, so it updates no drive.
Pack the drive&apos;s flash profiles in with norvik-pack --profiles.</source>
        <translation>Dieses Programm enthält nur die aus den Quellen gebauten Platzhalter-Flash-Profile und aktualisiert daher kein Laufwerk.
Packen Sie die Flash-Profile des Laufwerks mit norvik-pack --profiles hinein.</translation>
    </message>
    <message>
        <source>This program&apos;s flash profiles are damaged (one of them holds a single byte value throughout), so it updates no drive.
Pack the drive&apos;s flash profiles in again with norvik-pack --profiles.</source>
        <translation>Die Flash-Profile dieses Programms sind beschädigt (eines davon enthält durchgehend denselben Bytewert), daher aktualisiert es kein Laufwerk.
Packen Sie die Flash-Profile des Laufwerks mit norvik-pack --profiles erneut hinein.</translation>
    </message>
    <message>
        <source>This flash utility only supports </source>
        <translation>Dieses Flash-Programm unterstützt nur das Laufwerk </translation>
    </message>
    <message>
        <source>NOTICE : 

</source>
        <translation>HINWEIS : 

</translation>
    </message>
    <message>
        <source>1&gt; Please REMOVE disc and close all applications before running this utility !
</source>
        <translation>1&gt; Bitte ENTFERNEN Sie die Disc und schließen Sie alle Anwendungen, bevor Sie dieses Programm ausführen !
</translation>
    </message>
    <message>
        <source>2&gt; Don&apos;t turn off the system while flash is in progress. 
</source>
        <translation>2&gt; Schalten Sie das System nicht aus, während geflasht wird. 
</translation>
    </message>
    <message>
        <source>3&gt; Don&apos;t remove the adapter and battery during F/W reflash processing. 
</source>
        <translation>3&gt; Entfernen Sie Netzteil und Akku nicht, während die F/W neu geschrieben wird. 
</translation>
    </message>
    <message>
        <source>
Do you wish to continue ?</source>
        <translation>
Möchten Sie fortfahren ?</translation>
    </message>
    <message>
        <source>This drive is not allowed to be updated.</source>
        <translation>Dieses Laufwerk darf nicht aktualisiert werden.</translation>
    </message>
    <message>
        <source>It will be updated from             to</source>
        <translation>Es wird aktualisiert von             auf</translation>
    </message>
    <message>
        <source>Your drive&apos;s Firmware is already the most updated !
 Do you wish to continue ?</source>
        <translation>Die Firmware Ihres Laufwerks ist bereits die neueste !
 Möchten Sie fortfahren ?</translation>
    </message>
    <message>
        <source>This utility updates at most 16 drives at a time.
The first 16 drives take part in this update; %d further drive(s) found on this system keep their firmware.</source>
        <translation>Dieses Programm aktualisiert höchstens 16 Laufwerke auf einmal.
Die ersten 16 Laufwerke nehmen an dieser Aktualisierung teil; %d weitere auf diesem System gefundene(s) Laufwerk(e) behalten ihre Firmware.</translation>
    </message>
    <message>
        <source>%s.
This drive is not updated.</source>
        <translation>%s.
Dieses Laufwerk wird nicht aktualisiert.</translation>
    </message>
    <message>
        <source>Check Disc &amp; Tray Status...</source>
        <translation>Disc und Schublade prüfen...</translation>
    </message>
    <message>
        <source>Tray Out ...</source>
        <translation>Schublade fährt aus ...</translation>
    </message>
    <message>
        <source>Tray In ...</source>
        <translation>Schublade fährt ein ...</translation>
    </message>
    <message>
        <source>Waiting Drive Ready ...</source>
        <translation>Warten, bis das Laufwerk bereit ist ...</translation>
    </message>
    <message>
        <source>Please remove the disc.</source>
        <translation>Bitte entfernen Sie die Disc.</translation>
    </message>
    <message>
        <source>Disc detected in drive. Unable to eject the disc , maybe locked by other program

Please remove the disc manually.</source>
        <translation>Disc im Laufwerk erkannt. Die Disc lässt sich nicht auswerfen , vielleicht von einem anderen Programm gesperrt

Bitte entfernen Sie die Disc von Hand.</translation>
    </message>
    <message>
        <source>Please push the tray in.</source>
        <translation>Bitte schieben Sie die Schublade ein.</translation>
    </message>
    <message>
        <source>Programming </source>
        <translation>Programmieren </translation>
    </message>
    <message>
        <source>Programming ..........</source>
        <translation>Programmieren ..........</translation>
    </message>
    <message>
        <source>Inquiry ...</source>
        <translation>Abfrage ...</translation>
    </message>
    <message>
        <source>Unable to flash firmware. Please contact with your vendor !</source>
        <translation>Die Firmware konnte nicht geschrieben werden. Bitte wenden Sie sich an Ihren Händler !</translation>
    </message>
    <message>
        <source>Done.</source>
        <translation>Fertig.</translation>
    </message>
    <message>
        <source>Firmware has been updated successfully !</source>
        <translation>Die Firmware wurde erfolgreich aktualisiert !</translation>
    </message>
    <message>
        <source>%s carries no firmware: give one with --package FILE.
</source>
        <translation>%s enthält keine Firmware: geben Sie eine mit --package DATEI an.
</translation>
    </message>
    <message>
        <source>%s: %s (see %s --help)
</source>
        <translation>%s: %s (siehe %s --help)
</translation>
    </message>
    <message>
        <source>%s: note: %s
</source>
        <translation>%s: Hinweis: %s
</translation>
    </message>
    <message>
        <source>%s carries no image digests (packed before they were recorded): its firmware cannot be checked for damage</source>
        <translation>%s enthält keine Prüfsummen der Abbilder (gepackt, bevor sie aufgezeichnet wurden): seine Firmware kann nicht auf Beschädigung geprüft werden</translation>
    </message>
    <message>
        <source>this program&apos;s package</source>
        <translation>das Paket dieses Programms</translation>
    </message>
    <message>
        <source>this program&apos;s package must not be used</source>
        <translation>das Paket dieses Programms darf nicht verwendet werden</translation>
    </message>
    <message>
        <source>%s: %s: not listed: one update takes at most %d drives
</source>
        <translation>%s: %s: nicht aufgeführt: eine Aktualisierung nimmt höchstens %d Laufwerke
</translation>
    </message>
    <message>
        <source>no optical drive found</source>
        <translation>kein optisches Laufwerk gefunden</translation>
    </message>
    <message>
        <source>--virtual goes with list and update</source>
        <translation>--virtual gehört zu list und update</translation>
    </message>
    <message>
        <source>no command given (list, update or history)</source>
        <translation>kein Befehl angegeben (list, update oder history)</translation>
    </message>
    <message>
        <source>--drive goes with the update command</source>
        <translation>--drive gehört zum Befehl update</translation>
    </message>
    <message>
        <source>--aspi goes with --virtual drives</source>
        <translation>--aspi gehört zu Laufwerken mit --virtual</translation>
    </message>
    <message>
        <source>--virtual needs a drive (DRIVE)</source>
        <translation>--virtual braucht ein Laufwerk (DRIVE)</translation>
    </message>
    <message>
        <source>--trace needs a file name</source>
        <translation>--trace braucht einen Dateinamen</translation>
    </message>
    <message>
        <source>--drive needs a number</source>
        <translation>--drive braucht eine Nummer</translation>
    </message>
    <message>
        <source>--package needs a file name</source>
        <translation>--package braucht einen Dateinamen</translation>
    </message>
    <message>
        <source>not allowed: %.*s</source>
        <translation>nicht erlaubt: %.*s</translation>
    </message>
    <message>
        <source>updatable bank=%u current=%u new=%.*s</source>
        <translation>aktualisierbar Bank=%u aktuell=%u neu=%.*s</translation>
    </message>
    <message>
        <source>not updatable from here: </source>
        <translation>von hier aus nicht aktualisierbar: </translation>
    </message>
    <message>
        <source>drive not present</source>
        <translation>Laufwerk nicht vorhanden</translation>
    </message>
    <message>
        <source>the program carries no firmware</source>
        <translation>das Programm enthält keine Firmware</translation>
    </message>
    <message>
        <source>placeholder flash profiles</source>
        <translation>Platzhalter-Flash-Profile</translation>
    </message>
    <message>
        <source>another model than the package&apos;s: its bank without constraints takes only that model</source>
        <translation>ein anderes Modell als das des Pakets: seine Bank ohne Einschränkungen nimmt nur dieses Modell</translation>
    </message>
    <message>
        <source>no bank accepts vendor/product/revision</source>
        <translation>keine Bank nimmt Hersteller/Produkt/Revision an</translation>
    </message>
    <message>
        <source>%s: history: the journal holds no update record
</source>
        <translation>%s: history: das Journal enthält keinen Eintrag einer Aktualisierung
</translation>
    </message>
    <message>
        <source>history: not available on Windows; the update records are in the Application event log, source Norvik</source>
        <translation>history: unter Windows nicht verfügbar; die Einträge der Aktualisierungen stehen im Ereignisprotokoll „Anwendung“, Quelle Norvik</translation>
    </message>
    <message>
        <source>history: this system has no journal (systemd-journald does not run); the update records went to syslog</source>
        <translation>history: dieses System hat kein Journal (systemd-journald läuft nicht); die Einträge der Aktualisierungen gingen an syslog</translation>
    </message>
    <message>
        <source>more than one command (&quot;%s&quot;); give one of list, update, history</source>
        <translation>mehr als ein Befehl (&quot;%s&quot;); geben Sie einen von list, update, history an</translation>
    </message>
    <message>
        <source>unknown command &quot;%s&quot; (list, update or history)</source>
        <translation>unbekannter Befehl &quot;%s&quot; (list, update oder history)</translation>
    </message>
    <message>
        <source>--virtual: at most %s virtual drives</source>
        <translation>--virtual: höchstens %s virtuelle Laufwerke</translation>
    </message>
    <message>
        <source>%s takes no value</source>
        <translation>%s nimmt keinen Wert</translation>
    </message>
    <message>
        <source>%s needs a value</source>
        <translation>%s braucht einen Wert</translation>
    </message>
    <message>
        <source>unknown option -%s</source>
        <translation>unbekannte Option -%s</translation>
    </message>
    <message>
        <source>ambiguous option --%s (%s)</source>
        <translation>mehrdeutige Option --%s (%s)</translation>
    </message>
    <message>
        <source>unknown option --%s</source>
        <translation>unbekannte Option --%s</translation>
    </message>
    <message>
        <source>--drive &quot;%s&quot; is not a list line number (0, 1, ...)</source>
        <translation>--drive &quot;%s&quot; ist keine Zeilennummer der Liste (0, 1, ...)</translation>
    </message>
    <message>
        <source>--virtual &quot;%s&quot;: %s</source>
        <translation>--virtual &quot;%s&quot;: %s</translation>
    </message>
    <message>
        <source>is a directory, not a file</source>
        <translation>ist ein Verzeichnis, keine Datei</translation>
    </message>
    <message>
        <source>is a FIFO, not a file: give the package as a file</source>
        <translation>ist ein FIFO, keine Datei: geben Sie das Paket als Datei an</translation>
    </message>
    <message>
        <source>is a device, not a file</source>
        <translation>ist ein Gerät, keine Datei</translation>
    </message>
    <message>
        <source>is not a regular file</source>
        <translation>ist keine reguläre Datei</translation>
    </message>
    <message>
        <source>changed while it was read</source>
        <translation>hat sich geändert, während sie gelesen wurde</translation>
    </message>
    <message>
        <source>carries an update package but no flash profile store</source>
        <translation>enthält ein Aktualisierungspaket, aber keinen Speicher der Flash-Profile</translation>
    </message>
    <message>
        <source>carries no firmware (its image is the placeholder)</source>
        <translation>enthält keine Firmware (sein Abbild ist der Platzhalter)</translation>
    </message>
    <message>
        <source>cannot compute its SHA-256</source>
        <translation>ihr SHA-256 kann nicht berechnet werden</translation>
    </message>
</context>
<context>
    <name>NorvikMain</name>
    <message>
        <source>Norvik</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Message</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>100%</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Please select target drive :</source>
        <translation>Bitte Ziellaufwerk wählen :</translation>
    </message>
    <message>
        <source>XXXX</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>It will be updated from             to</source>
        <translation>Es wird aktualisiert von             auf</translation>
    </message>
    <message>
        <source>&amp;Update</source>
        <translation>&amp;Aktualisieren</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Schließen</translation>
    </message>
</context>
</TS>
