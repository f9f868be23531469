// The naming rules and the native path text, with Windows and POSIX paths.

#include "naming.h"
#include "native_path.h"
#include "test_qt.h"
#include "vectors.h"

#include <QTest>

using namespace trezorka;
using namespace test_util;

namespace {

std::u16string u(const QString& text)
{
    return std::u16string(reinterpret_cast<const char16_t*>(text.utf16()), static_cast<std::size_t>(text.size()));
}

// The same path with POSIX separators: "C:\a\b" becomes "/C/a/b".
std::u16string to_posix(std::u16string_view windows)
{
    std::u16string out;
    std::size_t i = 0;
    if (windows.size() >= 3 && windows[1] == u':' && windows[2] == u'\\') {
        out = u"/";
        out += windows[0];
        i = 2;
    }
    for (; i < windows.size(); ++i)
        out += windows[i] == u'\\' ? u'/' : windows[i];
    return out;
}

std::string b(std::string_view bytes)
{
    return std::string(bytes);
}

} // namespace

class TestNaming : public QObject {
    Q_OBJECT

private slots:
    void workedExamples_data()
    {
        QTest::addColumn<bool>("posix");
        QTest::addColumn<int>("row");
        for (bool posix : {false, true}) {
            for (std::size_t i = 0; i < vectors::naming_vectors.size(); ++i)
                QTest::addRow("%s, %s", posix ? "posix" : "windows", vectors::naming_vectors[i].name)
                    << posix << int(i);
        }
    }
    void workedExamples()
    {
        QFETCH(bool, posix);
        QFETCH(int, row);
        const auto& v = vectors::naming_vectors[static_cast<std::size_t>(row)];
        const PathSyntax syntax = posix ? posix_paths : windows_paths;
        const auto conv = [&](std::u16string_view p) { return posix ? to_posix(p) : std::u16string(p); };

        QCOMPARE(is_decrypt_source(conv(v.source), syntax), v.decrypt);
        const TargetProposal proposal = propose_target(conv(v.source), syntax);
        QCOMPARE(qs(proposal.target), qs(conv(v.proposed)));
        QCOMPARE(qs(proposal.save_dialog_name), qs(conv(v.dialog_name)));
        QCOMPARE(proposal.save_filter_index, v.filter_index);
        QCOMPARE(qs(recompose_target(conv(v.chosen), conv(v.source), proposal.target, syntax)),
                 qs(conv(v.recomposed)));
    }

    // A file without extension, encrypted and decrypted: a later pick cannot add one.
    void noExtensionStaysWithout()
    {
        const TargetProposal enc = propose_target(u"/d/notes", posix_paths);
        QCOMPARE(qs(enc.target), QString("/d/notes.t2k"));
        const TargetProposal dec = propose_target(enc.target, posix_paths);
        QCOMPARE(qs(dec.target), QString("/d/notes"));
        QCOMPARE(qs(recompose_target(u"/e/picked.txt", enc.target, dec.target, posix_paths)), QString("/e/picked"));
    }

    void pieces_data()
    {
        QTest::addColumn<bool>("posix");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("extension");
        QTest::addColumn<QString>("changedToTxt");
        QTest::newRow("win plain") << false << "C:\\a\\b.pdf" << "C:\\a\\" << "b.pdf" << ".pdf" << "C:\\a\\b.txt";
        QTest::newRow("win two dots") << false << "C:\\a\\b.pdf.t2k" << "C:\\a\\" << "b.pdf.t2k" << ".t2k"
                                      << "C:\\a\\b.pdf.txt";
        QTest::newRow("win dotted folder") << false << "C:\\a.b\\c" << "C:\\a.b\\" << "c" << "" << "C:\\a.b\\c.txt";
        QTest::newRow("win colon") << false << "C:b.x" << "C:" << "b.x" << ".x" << "C:b.txt";
        QTest::newRow("win slash") << false << "C:/a.b/c" << "C:/a.b/" << "c" << "" << "C:/a.b/c.txt";
        QTest::newRow("win trailing dot") << false << "C:\\a\\b." << "C:\\a\\" << "b." << "." << "C:\\a\\b.txt";
        QTest::newRow("win no folder") << false << "b.pdf" << "" << "b.pdf" << ".pdf" << "b.txt";
        QTest::newRow("win folder only") << false << "C:\\a\\" << "C:\\a\\" << "" << "" << "C:\\a\\.txt";
        QTest::newRow("posix plain") << true << "/a/b.pdf" << "/a/" << "b.pdf" << ".pdf" << "/a/b.txt";
        QTest::newRow("posix colon is a letter") << true << "/a/b.x:y" << "/a/" << "b.x:y" << ".x:y" << "/a/b.txt";
        QTest::newRow("posix backslash is a letter") << true << "/a.b\\c" << "/" << "a.b\\c" << ".b\\c" << "/a.txt";
        QTest::newRow("posix dotted folder") << true << "/a.b/c" << "/a.b/" << "c" << "" << "/a.b/c.txt";
        QTest::newRow("posix hidden file") << true << "/a/.profile" << "/a/" << ".profile" << ".profile" << "/a/.txt";
    }
    void pieces()
    {
        QFETCH(bool, posix);
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, name);
        QFETCH(QString, extension);
        QFETCH(QString, changedToTxt);
        const PathSyntax syntax = posix ? posix_paths : windows_paths;
        const std::u16string p = u(path);
        QCOMPARE(qs(folder_of(p, syntax)), folder);
        QCOMPARE(qs(name_of(p, syntax)), name);
        QCOMPARE(qs(extension_of(p, syntax)), extension);
        QCOMPARE(qs(change_extension(p, u".txt", syntax)), changedToTxt);
        QCOMPARE(qs(change_extension(p, u"", syntax) + extension_of(p, syntax)), path);
    }

    void formatMarks_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("decrypt");
        QTest::addColumn<bool>("old");
        QTest::newRow("t2k") << "/a/b.t2k" << true << false;
        QTest::newRow("T2K") << "/a/b.T2K" << false << false;
        QTest::newRow("t1k") << "/a/b.t1k" << false << true;
        QTest::newRow("T1K") << "/a/b.T1K" << false << false;
        QTest::newRow("t2k in the folder") << "/a.t2k/b" << false << false;
        QTest::newRow("t2k then more") << "/a/b.t2k.bak" << false << false;
        QTest::newRow("plain") << "/a/b.pdf" << false << false;
    }
    void formatMarks()
    {
        QFETCH(QString, path);
        QFETCH(bool, decrypt);
        QFETCH(bool, old);
        QCOMPARE(is_decrypt_source(u(path), posix_paths), decrypt);
        QCOMPARE(is_old_format(u(path), posix_paths), old);
    }

    // Bytes -> text -> bytes gives back exactly the same bytes, whatever they are.
    void nativeBytesRoundTrip_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("text"); // expected decoding, when given
        QTest::newRow("ascii") << QByteArray("report.pdf") << "report.pdf";
        QTest::newRow("two-byte") << QByteArray("\xc5\xbelu\xc5\xa5ou\xc4\x8dk\xc3\xbd") << QString::fromUtf8("žluťoučký");
        QTest::newRow("three-byte") << QByteArray("\xe2\x82\xac") << QString(QChar(0x20AC));
        QTest::newRow("four-byte") << QByteArray("\xf0\x9f\x98\x80") << QString::fromUcs4(U"\U0001F600");
        QTest::newRow("lone 0xff") << QByteArray("a\xff") << QString("a") + QChar(0xDCFF);
        QTest::newRow("lone continuation") << QByteArray("\x80") << QString(QChar(0xDC80));
        QTest::newRow("overlong slash") << QByteArray("\xc0\xaf") << QString(QChar(0xDCC0)) + QChar(0xDCAF);
        QTest::newRow("overlong three-byte") << QByteArray("\xe0\x80\xaf")
                                             << QString(QChar(0xDCE0)) + QChar(0xDC80) + QChar(0xDCAF);
        QTest::newRow("encoded high surrogate") << QByteArray("\xed\xa0\x80")
                                                << QString(QChar(0xDCED)) + QChar(0xDCA0) + QChar(0xDC80);
        // the bytes that encode U+DC80 must not turn into the byte 0x80
        QTest::newRow("encoded escape surrogate") << QByteArray("\xed\xb2\x80")
                                                  << QString(QChar(0xDCED)) + QChar(0xDCB2) + QChar(0xDC80);
        QTest::newRow("past U+10FFFF") << QByteArray("\xf4\x90\x80\x80") << QString();
        QTest::newRow("five-byte form") << QByteArray("\xf8\x88\x80\x80\x80") << QString();
        QTest::newRow("truncated at end") << QByteArray("x\xe2\x82") << QString("x") + QChar(0xDCE2) + QChar(0xDC82);
        QTest::newRow("truncated before ascii") << QByteArray("\xe2\x82y") << QString(QChar(0xDCE2)) + QChar(0xDC82) + "y";
        QTest::newRow("latin-1 name") << QByteArray("caf\xe9.txt") << QString("caf") + QChar(0xDCE9) + ".txt";
        QTest::newRow("valid then invalid then valid") << QByteArray("\xf0\x9f\x98\x80\xff\xc3\xa9") << QString();
        QTest::newRow("empty") << QByteArray() << QString();
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        QTest::newRow("every byte") << all << QString();
        const Bytes noise = random_bytes(4096, 7);
        QTest::newRow("random") << QByteArray(reinterpret_cast<const char*>(noise.data()), 4096) << QString();
    }
    void nativeBytesRoundTrip()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, text);
        const std::string_view in(bytes.constData(), static_cast<std::size_t>(bytes.size()));
        const std::u16string decoded = utf16_from_native_bytes(in);
        if (!text.isEmpty())
            QCOMPARE(qs(decoded), text);
        QCOMPARE(QByteArray::fromStdString(native_bytes_from_utf16(decoded)), bytes);
#ifndef _WIN32
        const std::filesystem::path path{std::string(in)};
        QCOMPARE(QByteArray::fromStdString(to_native_path(from_native_path(path)).native()), bytes);
#endif
    }

    // Text that came from a name: valid text encodes to UTF-8 and decodes back.
    void textRoundTrip()
    {
        const std::u16string text = u"a\u00e9\u20ac\U0001F600z";
        QCOMPARE(QByteArray::fromStdString(native_bytes_from_utf16(text)), QString::fromStdU16String(text).toUtf8());
        QCOMPARE(qs(utf16_from_native_bytes(native_bytes_from_utf16(text))), qs(text));
    }

#ifndef _WIN32
    // A name that is not UTF-8 goes through the naming rules and comes back as the same bytes.
    void undecodableNameThroughNaming()
    {
        const std::string source = b("/data/\xff\xfe-\xc3(.p\xe9" "f");
        const std::u16string text = from_native_path(std::filesystem::path(source));
        const TargetProposal enc = propose_target(text);
        QCOMPARE(to_native_path(enc.target).native(), source + ".t2k");
        const TargetProposal dec = propose_target(enc.target);
        QCOMPARE(to_native_path(dec.target).native(), source);
        QCOMPARE(to_native_path(recompose_target(from_native_path(std::filesystem::path(b("/o/\xfe"))), text, enc.target))
                     .native(),
                 b("/o/\xfe.p\xe9" "f.t2k"));
    }
#endif
};

QTEST_GUILESS_MAIN(TestNaming)
#include "tst_naming.moc"
