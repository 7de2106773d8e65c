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
    <message>
        <source>usage: norvik-cli [options] list
       norvik-cli [options] update [--drive N]
       norvik-cli [--json] history
       norvik-cli --help | --version

The console front end of Norvik: the same update package (carried in this
program, packed with norvik-pack), drive discovery, eligibility check, download
and update sequence as the window.

commands:
  list          find the drives and judge them; one line per drive: the
                drive-list entry as the window shows it, two spaces, then
                &quot;updatable bank=B current=C new=REV&quot; (B the firmware bank, 1
                to 4, C 1 when the drive already carries that bank&apos;s
                revision), &quot;not allowed: REASON&quot;, or, on the machine&apos;s drives,
                &quot;not updatable from here: REASON&quot; when this process could not
                send the update&apos;s commands through the drive&apos;s node. Without
                any optical drive it says so on standard error (status 0)
  update        the start-up and update sequence with the window&apos;s texts: the
                refusals, the notice, the already-current question, the disc
                and tray check, the progress and the outcome. The package&apos;s
                AUTOMODE updates every updatable drive; otherwise one drive is
                updated: the first updatable one, as the window selects it, or
                the one given with --drive
  history       the journal&apos;s records of updates of the machine&apos;s drives,
                newest first

options (short ones may be bundled, -yv; &quot;--&quot; ends the options):
  --package FILE
                the update package from FILE instead of the one this program
                carries: a packed Norvik program or a package file
  --drive N     (update, manual mode) update the drive of list line N,
                counted from 0
  --yes, -y     answer Yes to every question and OK to every message. A
                message of the disc and tray check is answered OK at most 3
                times per drive; the next one gives the drive up (it counts as
                failed)
  --virtual DRIVE
                a virtual drive instead of the machine&apos;s drives (repeatable, up
                to 24), in the text form of sim/README.md: comma-separated
                key=value entries, e.g.
                &quot;rev=RN05,chip=BFD60001,disc=0,tray=closed,timing=realistic&quot;.
                Keys: vendor product rev newrev deadrev vspec serial chip disc
                tray lock profile image polls timing latency rate commit host
                path target lun address root open inuse fault. When any drive
                has timing=realistic (or latency, rate, commit), the run takes
                real time; otherwise it runs in virtual time and waits pass at
                once. A drive the virtual system does not take (its root
                taken, no room) is a usage error
  --no-restart  (update) when the package restarts the system after a
                successful update, end without the restart and say that one
                is still due
  --aspi        the system answers that it is not of the NT family, so the
                drives are found and reached through the ASPI manager (on
                Linux, which has none, only with --virtual)
  --trace FILE  write every command to FILE as it ends: one line per command,
                &quot;&lt;root&gt; &lt;24 hex digits of the command block&gt; &lt;in|out|none&gt;
                &lt;length&gt; &lt;good|short N|sense K/ASC/ASCQ|failed&gt;&quot; (short N: it
                ended good but moved only N bytes). Virtual drives write what
                they received; on the machine&apos;s drives the line is what was
                sent and how it came back
  --verbose, -v every command sent and how it ended, by name, on standard
                error, the sense also in words; twice (-vv) the --trace line
                instead, with the command block and the data length
  --json        list: standard output is one JSON object, {&quot;drives&quot;: [...],
                &quot;not_listed&quot;: [roots past the drive table], &quot;permission_advice&quot;:
                text or null, &quot;error&quot;}; per drive: index, root, command_node
                (the SCSI generic node; null on virtual drives or without one),
                host, path, target, lun, vendor, product, revision, verdict
                (&quot;updatable&quot;, &quot;not allowed&quot; or &quot;not updatable from here&quot;),
                bank (counted from 1) and new_revision (null when not
                updatable), already_current, reason (why not, in words; else
                null).
                update: the texts for people go to standard error, and
                standard output is one JSON object at the end: exit_status,
                error, outcome (a name such as &quot;updated&quot;, &quot;restarted&quot;,
                &quot;restart_not_made&quot; (the drives are updated, the restart is
                still due), &quot;update_failed&quot;, &quot;notice_declined&quot;,
                &quot;usage_error&quot;) and drives:
                per drive of the update its index, root, bank (from 1),
                verdict (&quot;updated&quot;, &quot;not_started&quot;, &quot;given_up&quot;,
                &quot;download_failed&quot;, &quot;no_answer&quot;, &quot;wrong_revision&quot;),
                reported_revision (null when unknown) and expected_revision.
                Every end prints one document: &quot;error&quot; is null on success,
                else {&quot;code&quot;, &quot;message&quot;}; a usage error, or a refusal before
                the drives are listed, prints {&quot;exit_status&quot;, &quot;error&quot;}.
                Texts from drives and the package: one character per byte
                (Latin-1), control characters as \u00XX
  --help, -h    this text
  --version     the program&apos;s version, the package it carries (its version
                text and drives), whether a firmware and real flash profiles
                are packed in

Questions are asked on the terminal (y/N). Without a terminal on standard input
and without --yes, every question is answered No and a message of the disc and
tray check gives the drive up, so nothing is flashed unasked. On a terminal the
progress is one line updated in place; otherwise a line per phase and per 10 %</source>
        <translation>Aufruf: norvik-cli [Optionen] list
        norvik-cli [Optionen] update [--drive N]
        norvik-cli [--json] history
        norvik-cli --help | --version

Die Konsolenoberfläche von Norvik: dasselbe Aktualisierungspaket (in diesem
Programm enthalten, gepackt mit norvik-pack), dieselbe Laufwerkssuche,
Eignungsprüfung, Übertragung und Aktualisierungsfolge wie das Fenster.

Befehle:
  list          sucht die Laufwerke und beurteilt sie; eine Zeile je Laufwerk:
                der Eintrag der Laufwerksliste wie im Fenster, zwei
                Leerzeichen, dann &quot;aktualisierbar Bank=B aktuell=C neu=REV&quot;
                (B die Firmware-Bank, 1 bis 4, C 1, wenn das Laufwerk die
                Revision dieser Bank schon hat), &quot;nicht erlaubt: GRUND&quot; oder,
                bei den Laufwerken des Rechners, &quot;von hier aus nicht
                aktualisierbar: GRUND&quot;, wenn dieser Prozess die Befehle der
                Aktualisierung nicht über den Knoten des Laufwerks senden
                konnte. Ohne optisches Laufwerk sagt er das auf der
                Standardfehlerausgabe (Status 0)
  update        die Start- und Aktualisierungsfolge mit den Texten des
                Fensters: die Ablehnungen, der Hinweis, die Frage bei schon
                aktueller Firmware, die Prüfung von Disc und Schublade, der
                Fortschritt und das Ergebnis. Der AUTOMODE des Pakets
                aktualisiert jedes aktualisierbare Laufwerk; sonst wird ein
                Laufwerk aktualisiert: das erste aktualisierbare, wie das
                Fenster es wählt, oder das mit --drive angegebene
  history       die Einträge des Journals über Aktualisierungen der Laufwerke
                des Rechners, die neuesten zuerst

Optionen (kurze lassen sich bündeln, -yv; &quot;--&quot; beendet die Optionen):
  --package FILE
                das Aktualisierungspaket aus FILE statt des Pakets dieses
                Programms: ein gepacktes Norvik-Programm oder eine Paketdatei
  --drive N     (update, manueller Modus) das Laufwerk der Listenzeile N
                aktualisieren, gezählt ab 0
  --yes, -y     jede Frage mit Ja und jede Meldung mit OK beantworten. Eine
                Meldung der Prüfung von Disc und Schublade wird je Laufwerk
                höchstens 3-mal mit OK beantwortet; die nächste gibt das
                Laufwerk auf (es gilt als fehlgeschlagen)
  --virtual DRIVE
                ein virtuelles Laufwerk statt der Laufwerke des Rechners
                (wiederholbar, bis zu 24), in der Textform aus sim/README.md:
                durch Kommas getrennte Einträge key=value, z. B.
                &quot;rev=RN05,chip=BFD60001,disc=0,tray=closed,timing=realistic&quot;.
                Schlüssel: vendor product rev newrev deadrev vspec serial chip
                disc tray lock profile image polls timing latency rate commit
                host path target lun address root open inuse fault. Hat ein
                Laufwerk timing=realistic (oder latency, rate, commit), läuft
                der Lauf in echter Zeit; sonst in virtueller Zeit, und
                Wartezeiten vergehen sofort. Ein Laufwerk, das das virtuelle
                System nicht annimmt (seine Wurzel vergeben, kein Platz), ist
                ein Aufruffehler
  --no-restart  (update) wenn das Paket das System nach einer erfolgreichen
                Aktualisierung neu startet: ohne Neustart enden und sagen,
                dass er noch aussteht
  --aspi        das System antwortet, es sei nicht aus der NT-Familie, also
                werden die Laufwerke über den ASPI-Manager gefunden und
                erreicht (unter Linux, das keinen hat, nur mit --virtual)
  --trace FILE  jeden Befehl bei seinem Ende nach FILE schreiben: eine Zeile
                je Befehl, &quot;&lt;root&gt; &lt;24 hex digits of the command block&gt;
                &lt;in|out|none&gt; &lt;length&gt; &lt;good|short N|sense K/ASC/ASCQ|failed&gt;&quot;
                (short N: er endete gut, übertrug aber nur N Bytes). Virtuelle
                Laufwerke schreiben, was sie empfingen; bei den Laufwerken des
                Rechners ist die Zeile, was gesendet wurde und wie es zurückkam
  --verbose, -v jeden gesendeten Befehl und wie er endete, mit Namen, auf der
                Standardfehlerausgabe, den Sense auch in Worten; zweimal (-vv)
                stattdessen die Zeile von --trace, mit Befehlsblock und
                Datenlänge
  --json        list: die Standardausgabe ist ein JSON-Objekt, {&quot;drives&quot;:
                [...], &quot;not_listed&quot;: [Wurzeln nach der Laufwerkstabelle],
                &quot;permission_advice&quot;: Text oder null, &quot;error&quot;}; je Laufwerk:
                index, root, command_node (der SCSI-generic-Knoten; null bei
                virtuellen Laufwerken oder ohne einen), host, path, target,
                lun, vendor, product, revision, verdict (&quot;updatable&quot;, &quot;not
                allowed&quot; oder &quot;not updatable from here&quot;), bank (gezählt ab 1)
                und new_revision (null, wenn nicht aktualisierbar),
                already_current, reason (warum nicht, in Worten; sonst null).
                update: die Texte für Menschen gehen auf die
                Standardfehlerausgabe, und die Standardausgabe ist am Ende ein
                JSON-Objekt: exit_status, error, outcome (ein Name wie
                &quot;updated&quot;, &quot;restarted&quot;, &quot;restart_not_made&quot; (die Laufwerke sind
                aktualisiert, der Neustart steht noch aus), &quot;update_failed&quot;,
                &quot;notice_declined&quot;, &quot;usage_error&quot;) und drives:
                je Laufwerk der Aktualisierung sein index, root, bank (ab 1),
                verdict (&quot;updated&quot;, &quot;not_started&quot;, &quot;given_up&quot;,
                &quot;download_failed&quot;, &quot;no_answer&quot;, &quot;wrong_revision&quot;),
                reported_revision (null, wenn unbekannt) und expected_revision.
                Jedes Ende gibt ein Dokument aus: &quot;error&quot; ist null bei Erfolg,
                sonst {&quot;code&quot;, &quot;message&quot;}; ein Aufruffehler oder eine
                Ablehnung, bevor die Laufwerke aufgeführt sind, gibt
                {&quot;exit_status&quot;, &quot;error&quot;} aus. JSON-Dokumente sind immer
                Englisch. Texte von Laufwerken und dem Paket: ein Zeichen je
                Byte (Latin-1), Steuerzeichen als \u00XX
  --help, -h    dieser Text
  --version     die Version des Programms, das Paket, das es enthält (sein
                Versionstext und seine Laufwerke), ob eine Firmware und echte
                Flash-Profile eingepackt sind

Fragen werden auf dem Terminal gestellt (y/N). Ohne Terminal an der
Standardeingabe und ohne --yes wird jede Frage mit Nein beantwortet, und eine
Meldung der Prüfung von Disc und Schublade gibt das Laufwerk auf, sodass
nichts ungefragt geflasht wird. Auf einem Terminal ist der Fortschritt eine
Zeile, die an ihrem Platz erneuert wird; sonst eine Zeile je Phase und je 10 %</translation>
    </message>
    <message>
        <source>
of the image data written to the drives and read back. The sequence&apos;s messages
go to standard output with their kind (&quot;Error: ...&quot;); errors of the command line
go to standard error, each starting with the program&apos;s name as invoked. Texts
from drives and the package are shown with control bytes and bytes from 7Fh on
as \xNN. On a virtual system a restart is recorded and reported, never
performed; a restart the system does not make is said on standard error.

Signals that would end the program (interrupt, terminate, hang-up, quit, user,
alarm, ...) are held off while the firmware is being written: no further drive
is started, and once the outcome is printed the program ends with that signal.

exit status: 0 success (also a list), 1 update failed, 2 usage error (also a
               --drive N past the list, found before anything is asked),
             3 refused or declined (no firmware, no matching drive, drive not
               allowed, notice or question answered No),
             4 no permission to reach a drive (or one held by another
               program; the advice says what to do): list, or an update
               that found no drive it may update;
             standard output that could not be written turns 0 into 1 (a
             closed one: 1 before anything runs); a held signal ends the
             program with that signal
</source>
        <translation>
der Abbilddaten, die in die Laufwerke geschrieben und zurückgelesen wurden.
Die Meldungen der Folge gehen mit ihrer Art (&quot;Fehler: ...&quot;) auf die
Standardausgabe; Fehler der Befehlszeile gehen auf die Standardfehlerausgabe,
jeder mit dem Namen des Programms, wie es aufgerufen wurde, vorn. Texte von
Laufwerken und dem Paket werden mit Steuerbytes und Bytes ab 7Fh als \xNN
gezeigt. Auf einem virtuellen System wird ein Neustart aufgezeichnet und
gemeldet, nie ausgeführt; ein Neustart, den das System nicht vornimmt, wird
auf der Standardfehlerausgabe gesagt.

Signale, die das Programm beenden würden (Interrupt, Terminate, Hang-up, Quit,
User, Alarm, ...), werden zurückgehalten, während die Firmware geschrieben
wird: kein weiteres Laufwerk wird begonnen, und sobald das Ergebnis ausgegeben
ist, endet das Programm mit diesem Signal.

Exit-Status: 0 Erfolg (auch ein list), 1 Aktualisierung fehlgeschlagen,
             2 Aufruffehler (auch ein --drive N hinter der Liste, gefunden,
               bevor etwas gefragt wird),
             3 abgelehnt (keine Firmware, kein passendes Laufwerk, Laufwerk
               nicht erlaubt, Hinweis oder Frage mit Nein beantwortet),
             4 keine Berechtigung, ein Laufwerk zu erreichen (oder eines von
               einem anderen Programm gehalten; der Rat sagt, was zu tun ist):
               list, oder eine Aktualisierung, die kein Laufwerk fand, das
               sie aktualisieren darf;
             eine Standardausgabe, die nicht geschrieben werden konnte, macht
             aus 0 eine 1 (eine geschlossene: 1, bevor etwas läuft); ein
             zurückgehaltenes Signal beendet das Programm mit diesem Signal
</translation>
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
