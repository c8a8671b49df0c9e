<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE" sourcelanguage="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>No</source>
        <translation>Nein</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Ja</translation>
    </message>
    <message>
        <source>Connection failed</source>
        <translation>Verbindung fehlgeschlagen</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>Information</translation>
    </message>
</context>
<context>
    <name>ServicePanel</name>
    <message>
        <source>%1 Service Management</source>
        <translation>%1 Dienstverwaltung</translation>
    </message>
    <message>
        <source>Customer Management System</source>
        <translation>Kundenverwaltungssystem</translation>
    </message>
    <message>
        <source>Service not running</source>
        <translation>Dienst läuft nicht</translation>
    </message>
    <message>
        <source>Service restarting...</source>
        <translation>Dienst wird neu gestartet...</translation>
    </message>
    <message>
        <source>Service running</source>
        <translation>Dienst läuft</translation>
    </message>
    <message>
        <source>Running Time</source>
        <translation>Laufzeit</translation>
    </message>
    <message>
        <source>Auto-start</source>
        <translation>Autostart</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>Show</source>
        <translation>Anzeigen</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Beenden</translation>
    </message>
    <message>
        <source>Service running</source>
        <translation>Dienst läuft</translation>
    </message>
    <message>
        <source>Service stopped</source>
        <translation>Dienst angehalten</translation>
    </message>
    <message>
        <source>Exiting will stop the background service. Stop the service and exit the tray?</source>
        <translation>Beim Beenden wird der Hintergrunddienst angehalten. Dienst anhalten und das Tray-Programm beenden?</translation>
    </message>
    <message>
        <source>A recording plan is currently active. Exiting will stop recording and stop the background service. Stop the service and exit the tray?</source>
        <translation>Derzeit ist ein Aufzeichnungsplan aktiv. Beim Beenden werden die Aufzeichnung und der Hintergrunddienst angehalten. Dienst anhalten und das Tray-Programm beenden?</translation>
    </message>
    <message>
        <source>A running client was detected. Exiting will close the client and stop the background service. Continue?</source>
        <translation>Ein laufender Client wurde erkannt. Beim Beenden wird der Client geschlossen und der Hintergrunddienst angehalten. Fortfahren?</translation>
    </message>
    <message>
        <source>A running client was detected and a recording plan is currently active. Exiting will close the client, stop recording and stop the background service. Continue?</source>
        <translation>Ein laufender Client wurde erkannt, und derzeit ist ein Aufzeichnungsplan aktiv. Beim Beenden werden der Client geschlossen, die Aufzeichnung und der Hintergrunddienst angehalten. Fortfahren?</translation>
    </message>
    <message>
        <source>Exit Service Management</source>
        <translation>Dienstverwaltung beenden</translation>
    </message>
    <message>
        <source>Failed to notify the service. It may still be running.</source>
        <translation>Der Dienst konnte nicht benachrichtigt werden. Möglicherweise läuft er noch.</translation>
    </message>
</context>
<context>
    <name>ZozApplication</name>
    <message>
        <source>The program is already running</source>
        <translation>Das Programm läuft bereits</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Hinweis</translation>
    </message>
</context>
</TS>
