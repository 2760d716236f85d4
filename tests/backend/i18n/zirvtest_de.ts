<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name></name>
    <message id="_Test.Both">
        <source>In both tables</source>
        <translation>In beiden Tabellen</translation>
    </message>
    <message id="_Test.Format">
        <source>Code %1: %2</source>
        <translation>%2 (Code %1)</translation>
    </message>
</context>
</TS>
