<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>ModelsView</name>
    <message numerus="yes">
        <source>%n items · %1</source>
        <translation>
            <numerusform>%n item · %1</numerusform>
            <numerusform>%n items · %1</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>MoveController</name>
    <message numerus="yes">
        <source>%n models</source>
        <translation>
            <numerusform>%n model</numerusform>
            <numerusform>%n models</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Moving %n items back…</source>
        <translation>
            <numerusform>Moving %n item back…</numerusform>
            <numerusform>Moving %n items back…</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Moved %n items back</source>
        <translation>
            <numerusform>Moved %n item back</numerusform>
            <numerusform>Moved %n items back</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>SidebarModel</name>
    <message numerus="yes">
        <source>%1, %n item(s)</source>
        <translation>
            <numerusform>%1, %n item</numerusform>
            <numerusform>%1, %n items</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TrashAlert</name>
    <message numerus="yes">
        <source>%1 and %n more are in use</source>
        <translation>
            <numerusform>%1 and %n more are in use</numerusform>
            <numerusform>%1 and %n more are in use</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TrashController</name>
    <message numerus="yes">
        <source>Moving %n items to Trash…</source>
        <translation>
            <numerusform>Moving %n item to Trash…</numerusform>
            <numerusform>Moving %n items to Trash…</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n items</source>
        <translation>
            <numerusform>%n item</numerusform>
            <numerusform>%n items</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Restored %n items</source>
        <translation>
            <numerusform>Restored %n item</numerusform>
            <numerusform>Restored %n items</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>TrashView</name>
    <message numerus="yes">
        <source>%n items · %1</source>
        <translation>
            <numerusform>%n item · %1</numerusform>
            <numerusform>%n items · %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Delete %n items immediately?</source>
        <translation>
            <numerusform>Delete %n item immediately?</numerusform>
            <numerusform>Delete %n items immediately?</numerusform>
        </translation>
    </message>
</context>
</TS>
