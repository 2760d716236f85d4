<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name></name>
    <message id="_Test.Both">
        <source>In both tables</source>
        <translation>In both tables</translation>
    </message>
    <message id="_Test.EnglishOnly">
        <source>Only in English</source>
        <translation>Only in English</translation>
    </message>
    <message id="_Test.Format">
        <source>Code %1: %2</source>
        <translation>Code %1: %2</translation>
    </message>
</context>
</TS>
