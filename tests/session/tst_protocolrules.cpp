#include "ControlConnection.h"
#include "FtpSession.h"
#include "NameCodec.h"
#include "Reply.h"
#include "ReplyParsers.h"

#include <QTest>

// The pure rules of the wire: reply classes and the data single replies carry, the port text,
// the line guard, and the name codec that lets any name go back to the server byte for byte.
class ProtocolRulesTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void replyClass_data();
    void replyClass();
    void pwdReply_data();
    void pwdReply();
    void pasvReply_data();
    void pasvReply();
    void epsvReply_data();
    void epsvReply();
    void featuresNameMlstButNotMlsd();
    void transferSize();
    void emptyListingReply_data();
    void emptyListingReply();
    void port_data();
    void port();
    void commandLineGuard_data();
    void commandLineGuard();
    void nameBytesRoundTrip_data();
    void nameBytesRoundTrip();
    void validUtf8DecodesAsUtf8();
};

void ProtocolRulesTest::replyClass_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<ReplyClass>("expected");
    QTest::newRow("150") << 150 << ReplyClass::Preliminary;
    QTest::newRow("226") << 226 << ReplyClass::Completion;
    QTest::newRow("331") << 331 << ReplyClass::Intermediate;
    QTest::newRow("421") << 421 << ReplyClass::TransientFailure;
    QTest::newRow("550") << 550 << ReplyClass::PermanentFailure;
    QTest::newRow("600") << 600 << ReplyClass::Invalid;
    QTest::newRow("99") << 99 << ReplyClass::Invalid;
}

void ProtocolRulesTest::replyClass()
{
    QFETCH(int, code);
    QFETCH(ReplyClass, expected);
    QCOMPARE(Reply::classify(code), expected);
}

void ProtocolRulesTest::pwdReply_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected"); // null: no path
    QTest::newRow("pyftpdlib") << QStringLiteral("\"/\" is the current directory.") << QStringLiteral("/");
    QTest::newRow("vsftpd") << QStringLiteral("\"/pub/folder one\" is the current directory") << QStringLiteral("/pub/folder one");
    QTest::newRow("doubled quotes") << QStringLiteral("\"/a \"\"q\"\" b\" is cwd") << QStringLiteral("/a \"q\" b");
    QTest::newRow("quote at the end of the name") << QStringLiteral("\"/x\"\"\"") << QStringLiteral("/x\"");
    QTest::newRow("no quotes") << QStringLiteral("/home is current") << QStringLiteral("/home");
    QTest::newRow("unterminated") << QStringLiteral("\"/unterminated") << QString();
    QTest::newRow("no path") << QStringLiteral("no path here") << QString();
}

void ProtocolRulesTest::pwdReply()
{
    QFETCH(QString, text);
    QFETCH(QString, expected);
    const auto path = ReplyParsers::parsePwdReply(text);
    QCOMPARE(path.has_value(), !expected.isNull());
    if (path)
        QCOMPARE(*path, expected);
}

void ProtocolRulesTest::pasvReply_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::newRow("vsftpd") << QStringLiteral("Entering Passive Mode (127,0,0,1,213,146).") << QStringLiteral("127.0.0.1") << 54674;
    QTest::newRow("no parentheses") << QStringLiteral("Entering Passive Mode 10,0,0,5,4,1") << QStringLiteral("10.0.0.5") << 1025;
    QTest::newRow("equals sign") << QStringLiteral("Entering Passive Mode =192,168,1,1,0,21") << QStringLiteral("192.168.1.1") << 21;
    QTest::newRow("number above 255") << QStringLiteral("(256,0,0,1,1,1)") << QString() << 0;
    QTest::newRow("five numbers") << QStringLiteral("(1,2,3,4,5)") << QString() << 0;
    QTest::newRow("port 0") << QStringLiteral("(1,2,3,4,0,0)") << QString() << 0;
}

void ProtocolRulesTest::pasvReply()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, port);
    const auto offered = ReplyParsers::parsePasvReply(text);
    QCOMPARE(offered.has_value(), !address.isEmpty());
    if (!offered)
        return;
    QCOMPARE(offered->address, QHostAddress(address));
    QCOMPARE(int(offered->port), port);
}

void ProtocolRulesTest::epsvReply_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("port"); // 0: refused
    QTest::newRow("vsftpd") << QStringLiteral("Entering Extended Passive Mode (|||52980|)") << 52980;
    QTest::newRow("pyftpdlib") << QStringLiteral("Entering extended passive mode (|||48087|).") << 48087;
    QTest::newRow("other delimiter") << QStringLiteral("(!!!1234!)") << 1234;
    QTest::newRow("two delimiters") << QStringLiteral("(||1234|)") << 0;
    QTest::newRow("mixed delimiters") << QStringLiteral("(|!|1234|)") << 0;
    QTest::newRow("port 0") << QStringLiteral("(|||0|)") << 0;
    QTest::newRow("port 65536") << QStringLiteral("(|||65536|)") << 0;
    QTest::newRow("letter in the port") << QStringLiteral("(|||12a4|)") << 0;
    QTest::newRow("closing delimiter missing") << QStringLiteral("(|||1234)") << 0;
    QTest::newRow("no parentheses") << QStringLiteral("|||1234|") << 0;
}

void ProtocolRulesTest::epsvReply()
{
    QFETCH(QString, text);
    QFETCH(int, port);
    const auto parsed = ReplyParsers::parseEpsvReply(text);
    QCOMPARE(parsed.has_value(), port != 0);
    if (parsed)
        QCOMPARE(int(*parsed), port);
}

void ProtocolRulesTest::featuresNameMlstButNotMlsd()
{
    // pyftpdlib's FEAT, as sent.
    const Reply reply{211, {QStringLiteral("Features supported:"), QStringLiteral("EPRT"), QStringLiteral("EPSV"),
                            QStringLiteral("MLST type*;perm*;size*;modify*;unique*;unix.mode;unix.uid;unix.gid;"),
                            QStringLiteral("REST STREAM"), QStringLiteral("SIZE"), QStringLiteral("UTF8"),
                            QStringLiteral("End FEAT.")}};
    const QStringList features = ReplyParsers::parseFeatures(reply);
    QCOMPARE(features.size(), 6);
    QVERIFY(ReplyParsers::hasFeature(features, u"MLST"));
    QVERIFY(!ReplyParsers::hasFeature(features, u"MLSD"));
    QVERIFY(ReplyParsers::hasFeature(features, u"utf8"));
    QVERIFY(ReplyParsers::hasFeature(features, u"REST"));
    QVERIFY(!ReplyParsers::hasFeature(features, u"MLS"));
    QVERIFY(ReplyParsers::parseFeatures(Reply{500, {QStringLiteral("Unknown command.")}}).isEmpty());
}

void ProtocolRulesTest::transferSize()
{
    QCOMPARE(ReplyParsers::parseTransferSize(QStringLiteral("Opening BINARY mode data connection for big.bin (5000000 bytes).")),
             std::optional<qint64>(5000000));
    QCOMPARE(ReplyParsers::parseTransferSize(QStringLiteral("Data connection already open. Transfer starting.")),
             std::optional<qint64>());
}

void ProtocolRulesTest::emptyListingReply_data()
{
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("empty");
    QTest::newRow("no files found") << 550 << QStringLiteral("No files found.") << true;
    QTest::newRow("no members found") << 450 << QStringLiteral("No members found") << true;
    QTest::newRow("no data sets found") << 550 << QStringLiteral("No data sets found.") << true;
    QTest::newRow("missing folder") << 550 << QStringLiteral("No such file or directory.") << false;
    QTest::newRow("success code") << 226 << QStringLiteral("No files found") << false;
}

void ProtocolRulesTest::emptyListingReply()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QFETCH(bool, empty);
    QCOMPARE(ReplyParsers::isEmptyListingReply(Reply{code, {text}}), empty);
}

void ProtocolRulesTest::port_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("expected"); // 0: refused
    QTest::newRow("21") << QStringLiteral("21") << 21;
    QTest::newRow("blanks around") << QStringLiteral("  21 ") << 21;
    QTest::newRow("tab around") << QStringLiteral("\t21\t") << 21;
    QTest::newRow("plus sign") << QStringLiteral("+21") << 21;
    QTest::newRow("half rounds to even up") << QStringLiteral("21.5") << 22;
    QTest::newRow("half rounds to even down") << QStringLiteral("22.5") << 22;
    QTest::newRow("above half") << QStringLiteral("22.50001") << 23;
    QTest::newRow("below half") << QStringLiteral("21.4999") << 21;
    QTest::newRow("trailing point") << QStringLiteral("21.") << 21;
    QTest::newRow("above 32767 (accepted here)") << QStringLiteral("40000") << 40000;
    QTest::newRow("highest") << QStringLiteral("65535") << 65535;
    QTest::newRow("one above highest") << QStringLiteral("65536") << 0;
    QTest::newRow("rounds up past highest") << QStringLiteral("65535.5") << 0;
    QTest::newRow("zero") << QStringLiteral("0") << 0;
    QTest::newRow("rounds to zero") << QStringLiteral("0.5") << 0;
    QTest::newRow("rounds to one") << QStringLiteral("0.51") << 1;
    QTest::newRow("negative") << QStringLiteral("-21") << 0;
    QTest::newRow("letters") << QStringLiteral("ftp") << 0;
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("blank inside") << QStringLiteral("2 1") << 0;
    QTest::newRow("exponent") << QStringLiteral("1e3") << 0;
    QTest::newRow("huge") << QStringLiteral("99999999999999999999999") << 0;
}

void ProtocolRulesTest::port()
{
    QFETCH(QString, text);
    QFETCH(int, expected);
    const std::optional<quint16> parsed = parsePort(text);
    QCOMPARE(parsed.has_value(), expected != 0);
    if (parsed)
        QCOMPARE(int(*parsed), expected);
}

void ProtocolRulesTest::commandLineGuard_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("safe");
    QTest::newRow("plain") << QByteArray("RETR a b.txt") << true;
    QTest::newRow("CR") << QByteArray("RETR a\rDELE b") << false;
    QTest::newRow("LF") << QByteArray("RETR a\nDELE b") << false;
    QTest::newRow("NUL") << QByteArray("RETR a\0b", 8) << false;
    QTest::newRow("other control byte") << QByteArray("RETR a\tb") << true;
}

void ProtocolRulesTest::commandLineGuard()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, safe);
    QCOMPARE(ControlConnection::isSafeCommandLine(line), safe);
}

void ProtocolRulesTest::nameBytesRoundTrip_data()
{
    QTest::addColumn<QByteArray>("bytes");
    // Valid UTF-8 is covered by validUtf8DecodesAsUtf8; these are the bytes a codec could lose.
    QTest::newRow("Latin-1") << QByteArray("caf\xe9");
    QTest::newRow("FF FE") << QByteArray("bad\xff\xfename");
    QTest::newRow("cut-off sequence at the end") << QByteArray("a\xc3");
    QTest::newRow("overlong slash") << QByteArray("\xc0\xaf");
    QTest::newRow("encoded surrogate") << QByteArray("\xed\xa0\x80");
    QTest::newRow("escaped-surrogate look-alike") << QByteArray("\xed\xb2\x80");
    QTest::newRow("beyond U+10FFFF") << QByteArray("\xf4\x90\x80\x80");
    QTest::newRow("lone continuation bytes") << QByteArray("\x80\xbf");
    QTest::newRow("valid after invalid") << QByteArray("\xff\xf0\x9f\x98\x80\xff");
}

void ProtocolRulesTest::nameBytesRoundTrip()
{
    QFETCH(QByteArray, bytes);
    QCOMPARE(NameCodec::encode(NameCodec::decode(bytes)), bytes);
}

void ProtocolRulesTest::validUtf8DecodesAsUtf8()
{
    const QString text = QStringLiteral("Grüße € 😀 plain");
    QCOMPARE(NameCodec::decode(text.toUtf8()), text);
    QCOMPARE(NameCodec::encode(text), text.toUtf8());
    // An invalid byte shows as one character, and not as a letter it is not.
    const QString shown = NameCodec::decode("caf\xe9");
    QCOMPARE(shown.size(), 4);
    QVERIFY(shown[3] != QChar(0xE9));
}

QTEST_GUILESS_MAIN(ProtocolRulesTest)
#include "tst_protocolrules.moc"
