// SPDX-License-Identifier: MIT
#include "serial/sendescapes.h"
#include "serial/sendhistory.h"
#include "serial/sendmacros.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TstSendStore : public QObject
{
    Q_OBJECT

private slots:
    void readsMacroEscapes_data();
    void readsMacroEscapes();
    void findsAndReadsMacros_data();
    void findsAndReadsMacros();
    void keepsTheLastDistinctLines_data();
    void keepsTheLastDistinctLines();
    void walksTheHistoryWithUpAndDown_data();
    void walksTheHistoryWithUpAndDown();
    void replacesAnUnreadableFile_data();
    void replacesAnUnreadableFile();
};

void TstSendStore::readsMacroEscapes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("refusedColumn");

    QTest::newRow("plain") << "AT" << QByteArray("AT") << 0;
    QTest::newRow("each escape") << "a\\r\\n\\t\\\\b" << QByteArray("a\r\n\t\\b") << 0;
    QTest::newRow("hex both cases") << "\\x1b\\xFF" << QByteArray("\x1B\xFF") << 0;
    QTest::newRow("nul byte") << "\\x00" << QByteArray(1, '\0') << 0;
    QTest::newRow("two digits only") << "\\x411" << QByteArray("A1") << 0;
    QTest::newRow("escaped backslash before x") << "\\\\x41" << QByteArray("\\x41") << 0;
    QTest::newRow("CP932 around escapes") << "送\\r信" << QByteArray("\x91\x97\r\x90\x4d") << 0;
    QTest::newRow("unknown letter") << "ab\\q" << QByteArray() << 3;
    QTest::newRow("upper-case R") << "\\R" << QByteArray() << 1;
    QTest::newRow("lone trailing backslash") << "abc\\" << QByteArray() << 4;
    QTest::newRow("one hex digit") << "\\x4" << QByteArray() << 1;
    QTest::newRow("one hex digit then text") << "\\x4g" << QByteArray() << 1;
    QTest::newRow("refused after good") << "\\r\\0" << QByteArray() << 3;
}

void TstSendStore::readsMacroEscapes()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QFETCH(int, refusedColumn);

    const sendescapes::Parsed parsed = sendescapes::parse(text);
    QCOMPARE(parsed.refusedColumn, refusedColumn);
    QCOMPARE(parsed.bytes, bytes);
}

void TstSendStore::findsAndReadsMacros_data()
{
    QTest::addColumn<QString>("asked");
    QTest::addColumn<int>("slot");
    QTest::addColumn<QByteArray>("bytes");

    // Slot 1 "reset" is text, slot 3 "7" is hex, slot 12 has no name.
    QTest::newRow("by name") << "reset" << 0 << QByteArray("R\r");
    QTest::newRow("by slot number") << "1" << 0 << QByteArray("R\r");
    QTest::newRow("hex by name, not slot 7") << "7" << 2 << QByteArray("\x0D\x0A\x11");
    QTest::newRow("unnamed by number") << "12" << 11 << QByteArray("\\n");
    QTest::newRow("empty slot") << "2" << -1 << QByteArray();
    QTest::newRow("beyond the slots") << "13" << -1 << QByteArray();
    QTest::newRow("unknown name") << "Reset" << -1 << QByteArray();
}

void TstSendStore::findsAndReadsMacros()
{
    QFETCH(QString, asked);
    QFETCH(int, slot);
    QFETCH(QByteArray, bytes);

    SendMacros macros;
    macros.set(0, {QStringLiteral("reset"), SendMacro::Kind::Text, QStringLiteral("R\\r")});
    macros.set(2, {QStringLiteral("7"), SendMacro::Kind::Hex, QStringLiteral("D 0A 11")});
    macros.set(11, {QString(), SendMacro::Kind::Text, QStringLiteral("\\\\n")});
    // What the file keeps is what is found and sent, the hex through the one hex syntax.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/macros.json"));
    QVERIFY(macros.save(path));
    SendMacros loaded;
    QVERIFY(loaded.load(path));

    QCOMPARE(loaded.find(asked), slot);
    if (slot >= 0)
        QCOMPARE(SendMacros::bytes(loaded.at(slot)).value_or(QByteArray()), bytes);
}

void TstSendStore::keepsTheLastDistinctLines_data()
{
    QTest::addColumn<QStringList>("added");
    QTest::addColumn<QStringList>("kept");

    QTest::newRow("in order") << QStringList{"a", "b"} << QStringList{"a", "b"};
    QTest::newRow("repeat moves to newest") << QStringList{"a", "b", "c", "a"} << QStringList{"b", "c", "a"};
    QTest::newRow("empty not kept") << QStringList{"a", "", "b"} << QStringList{"a", "b"};
    QTest::newRow("blank is a line") << QStringList{" "} << QStringList{" "};
    QStringList many;
    for (int i = 0; i < 105; ++i)
        many.append(QString::number(i));
    QTest::newRow("cap drops the oldest") << many << many.mid(5);
    // A repeat of a line still kept frees no place.
    QTest::newRow("cap after a repeat") << (many.mid(0, 100) << "0" << "x") << (many.mid(2, 98) << "0" << "x");
}

void TstSendStore::keepsTheLastDistinctLines()
{
    QFETCH(QStringList, added);
    QFETCH(QStringList, kept);

    SendHistory history;
    for (const QString &line : added)
        history.add(line);
    QCOMPARE(history.lines(), kept);
}

void TstSendStore::walksTheHistoryWithUpAndDown_data()
{
    QTest::addColumn<QStringList>("lines");
    QTest::addColumn<QString>("keys");
    // What the field shows after each key; "-" where the key changes nothing.
    QTest::addColumn<QStringList>("shown");

    const QStringList abc{"a", "b", "c"};
    QTest::newRow("up to the oldest and stop") << abc << "UUUU" << QStringList{"c", "b", "a", "-"};
    QTest::newRow("down past newest gives the draft") << abc << "UUDDD" << QStringList{"c", "b", "c", "draft", "-"};
    QTest::newRow("down before up") << abc << "D" << QStringList{"-"};
    QTest::newRow("no lines") << QStringList{} << "UD" << QStringList{"-", "-"};
    QTest::newRow("walk again") << abc << "UDU" << QStringList{"c", "draft", "c"};
}

void TstSendStore::walksTheHistoryWithUpAndDown()
{
    QFETCH(QStringList, lines);
    QFETCH(QString, keys);
    QFETCH(QStringList, shown);

    SendHistory history;
    history.setLines(lines);
    QString field = QStringLiteral("draft");
    QStringList got;
    for (const QChar key : keys) {
        const std::optional<QString> next = key == u'U' ? history.older(field) : history.newer();
        got.append(next.value_or(QStringLiteral("-")));
        field = next.value_or(field);
    }
    QCOMPARE(got, shown);
}

void TstSendStore::replacesAnUnreadableFile_data()
{
    QTest::addColumn<QByteArray>("contents");

    QTest::newRow("not JSON") << QByteArray("\xFF\xFE garbage");
    QTest::newRow("an object") << QByteArray("{\"lines\": [\"a\"]}");
    QTest::newRow("a number among lines") << QByteArray("[\"a\", 3]");
    QTest::newRow("cut short") << QByteArray("[\"a\", \"b");
}

void TstSendStore::replacesAnUnreadableFile()
{
    QFETCH(QByteArray, contents);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("history.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();

    SendHistory history;
    QVERIFY(!history.load(path));
    QVERIFY(history.lines().isEmpty());
    history.add(QStringLiteral("next"));
    QVERIFY(history.save(path));
    SendHistory reread;
    QVERIFY(reread.load(path));
    QCOMPARE(reread.lines(), QStringList{QStringLiteral("next")});

    // Read as macros, the same file gives no slot, and never a slot of its bytes.
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(contents);
    file.close();
    SendMacros macros;
    (void)macros.load(path);
    for (int slot = 1; slot <= SendMacros::kSlots; ++slot)
        QCOMPARE(macros.find(QString::number(slot)), -1);
}

QTEST_GUILESS_MAIN(TstSendStore)
#include "tst_sendstore.moc"
