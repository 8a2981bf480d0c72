<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>Dozewick</name>
    <message>
        <source>button.quit</source>
        <translation>Exit Dozewick</translation>
    </message>
</context>
</TS>
