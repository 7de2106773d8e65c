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
