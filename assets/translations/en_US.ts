<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US" sourcelanguage="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>No</source>
        <translation>No</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>Ok</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>Connection failed</source>
        <translation>Connection failed</translation>
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
        <translation>%1 Service Management</translation>
    </message>
    <message>
        <source>Customer Management System</source>
        <translation>Customer Management System</translation>
    </message>
    <message>
        <source>Service not running</source>
        <translation>Service not running</translation>
    </message>
    <message>
        <source>Service restarting...</source>
        <translation>Service restarting...</translation>
    </message>
    <message>
        <source>Service running</source>
        <translation>Service running</translation>
    </message>
    <message>
        <source>Running Time</source>
        <translation>Running Time</translation>
    </message>
    <message>
        <source>Auto-start</source>
        <translation>Auto-start</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>Show</source>
        <translation>Show</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
    <message>
        <source>Service running</source>
        <translation>Service running</translation>
    </message>
    <message>
        <source>Service stopped</source>
        <translation>Service stopped</translation>
    </message>
    <message>
        <source>Exiting will stop the background service. Stop the service and exit the tray?</source>
        <translation>Exiting will stop the background service. Stop the service and exit the tray?</translation>
    </message>
    <message>
        <source>A recording plan is currently active. Exiting will stop recording and stop the background service. Stop the service and exit the tray?</source>
        <translation>A recording plan is currently active. Exiting will stop recording and stop the background service. Stop the service and exit the tray?</translation>
    </message>
    <message>
        <source>A running client was detected. Exiting will close the client and stop the background service. Continue?</source>
        <translation>A running client was detected. Exiting will close the client and stop the background service. Continue?</translation>
    </message>
    <message>
        <source>A running client was detected and a recording plan is currently active. Exiting will close the client, stop recording and stop the background service. Continue?</source>
        <translation>A running client was detected and a recording plan is currently active. Exiting will close the client, stop recording and stop the background service. Continue?</translation>
    </message>
    <message>
        <source>Exit Service Management</source>
        <translation>Exit Service Management</translation>
    </message>
    <message>
        <source>Failed to notify the service. It may still be running.</source>
        <translation>Failed to notify the service. It may still be running.</translation>
    </message>
</context>
<context>
    <name>ZozApplication</name>
    <message>
        <source>The program is already running</source>
        <translation>The program is already running</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>Note</translation>
    </message>
</context>
</TS>
