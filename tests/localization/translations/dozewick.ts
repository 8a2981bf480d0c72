<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1">
<context>
    <name>Dozewick</name>
    <message>
        <source>button.quit</source>
        <translation>Leave</translation>
    </message>
    <message>
        <source>button.stop</source>
        <translation>Pause</translation>
    </message>
</context>
</TS>
