<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="zh_CN" sourcelanguage="en_US">
<context>
    <name>QObject</name>
    <message>
        <source>No</source>
        <translation>否</translation>
    </message>
    <message>
        <source>Ok</source>
        <translation>确定</translation>
    </message>
    <message>
        <source>Yes</source>
        <translation>是</translation>
    </message>
    <message>
        <source>Connection failed</source>
        <translation>连接失败</translation>
    </message>
    <message>
        <source>Information</source>
        <translation>信息</translation>
    </message>
</context>
<context>
    <name>ServicePanel</name>
    <message>
        <source>%1 Service Management</source>
        <translation>%1 服务管理</translation>
    </message>
    <message>
        <source>Customer Management System</source>
        <translation>客户管理系统</translation>
    </message>
    <message>
        <source>Service not running</source>
        <translation>服务未运行</translation>
    </message>
    <message>
        <source>Service restarting...</source>
        <translation>服务正在重启...</translation>
    </message>
    <message>
        <source>Service running</source>
        <translation>服务运行中</translation>
    </message>
    <message>
        <source>Running Time</source>
        <translation>运行时长</translation>
    </message>
    <message>
        <source>Auto-start</source>
        <translation>开机自启</translation>
    </message>
</context>
<context>
    <name>TrayIcon</name>
    <message>
        <source>Show</source>
        <translation>显示</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>退出</translation>
    </message>
    <message>
        <source>Service running</source>
        <translation>服务运行中</translation>
    </message>
    <message>
        <source>Service stopped</source>
        <translation>服务已停止</translation>
    </message>
    <message>
        <source>Exiting will stop the background service. Stop the service and exit the tray?</source>
        <translation>退出将停止后台服务。是否停止服务并退出托盘程序？</translation>
    </message>
    <message>
        <source>A recording plan is currently active. Exiting will stop recording and stop the background service. Stop the service and exit the tray?</source>
        <translation>当前有录像计划正在执行。退出将停止录像并停止后台服务。是否停止服务并退出托盘程序？</translation>
    </message>
    <message>
        <source>A running client was detected. Exiting will close the client and stop the background service. Continue?</source>
        <translation>检测到客户端正在运行。退出将关闭客户端并停止后台服务。是否继续？</translation>
    </message>
    <message>
        <source>A running client was detected and a recording plan is currently active. Exiting will close the client, stop recording and stop the background service. Continue?</source>
        <translation>检测到客户端正在运行，且当前有录像计划正在执行。退出将关闭客户端、停止录像并停止后台服务。是否继续？</translation>
    </message>
    <message>
        <source>Exit Service Management</source>
        <translation>退出服务管理</translation>
    </message>
    <message>
        <source>Failed to notify the service. It may still be running.</source>
        <translation>无法通知服务，服务可能仍在运行。</translation>
    </message>
</context>
<context>
    <name>ZozApplication</name>
    <message>
        <source>The program is already running</source>
        <translation>程序已在运行</translation>
    </message>
    <message>
        <source>Note</source>
        <translation>提示</translation>
    </message>
</context>
</TS>
