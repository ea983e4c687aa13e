<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<!-- The text areas' own context menu: QScintilla ships no Chinese, and its menu asks for these
     texts in the context "QsciScintilla". Written as Qt's own Chinese writes the boxes' menu. -->
<TS version="2.1" language="zh_CN">
<context>
    <name>QsciScintilla</name>
    <message>
        <source>&amp;Undo</source>
        <translation>撤消(&amp;U)</translation>
    </message>
    <message>
        <source>&amp;Redo</source>
        <translation>重做(&amp;R)</translation>
    </message>
    <message>
        <source>Cu&amp;t</source>
        <translation>剪切(&amp;T)</translation>
    </message>
    <message>
        <source>&amp;Copy</source>
        <translation>复制(&amp;C)</translation>
    </message>
    <message>
        <source>&amp;Paste</source>
        <translation>粘贴(&amp;P)</translation>
    </message>
    <message>
        <source>Delete</source>
        <translation>删除</translation>
    </message>
    <message>
        <source>Select All</source>
        <translation>全选</translation>
    </message>
</context>
</TS>
