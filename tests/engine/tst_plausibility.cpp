// The wrong-password check: what a file's start must look like for its name,
// and that random bytes (what a wrong key gives) never pass.

#include "plausibility.h"
#include "test_util.h"

#include <QTemporaryDir>
#include <QTest>

#include <string>

#ifndef _WIN32
#include <sys/stat.h>
#endif

using namespace trezorka;
using namespace test_util;

Q_DECLARE_METATYPE(trezorka::Plausibility)

namespace {

Bytes bytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

Bytes operator+(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// UTF-32LE without a byte order mark (BMP characters only).
Bytes utf32le(std::u16string_view text)
{
    Bytes out;
    for (const char16_t c : text)
        out = out + Bytes{std::uint8_t(c & 0xFF), std::uint8_t(c >> 8), 0, 0};
    return out;
}

Bytes utf16(std::u16string_view text, bool big_endian, bool marked = true)
{
    Bytes out = !marked ? Bytes() : big_endian ? Bytes{0xFE, 0xFF} : Bytes{0xFF, 0xFE};
    for (const char16_t c : text) {
        const auto hi = std::uint8_t(c >> 8), lo = std::uint8_t(c & 0xFF);
        out.push_back(big_endian ? hi : lo);
        out.push_back(big_endian ? lo : hi);
    }
    return out;
}

const std::u16string czech = u"Příliš žluťoučký kůň úpěl ďábelské ódy.\r\nDruhý řádek s čísly 1234.\r\n";
const std::u16string russian = u"Съешь же ещё этих мягких французских булок, да выпей чаю.\n";
const std::u16string greek = u"Ξεσκεπάζω την ψυχοφθόρα βδελυγμία.\n";
const std::u16string chinese = u"我能吞下玻璃而不伤身体。天地玄黄，宇宙洪荒。\n";

// The same sentence in ISO 8859-2: every accented letter is one byte above 0x7F.
Bytes latin2()
{
    return from_hex("50f8ed6c69b920be6c75bb6f75e86bfd206bf9f220fa70ec6c20efe162656c736be920f364792e0d0a"
                    "44727568fd20f8e164656b207320e8ed736c7920313233342e0d0a");
}

Bytes png()
{
    return from_hex("89504e470d0a1a0a0000000d49484452000000100000001008060000001ff3ff61") + random_bytes(400, 7);
}

Bytes zip_entry(std::string_view first_name)
{
    Bytes header = from_hex("504b0304140000000800");
    header.resize(26, 0);
    header.push_back(std::uint8_t(first_name.size()));
    header.push_back(0);
    header.push_back(0);
    header.push_back(0);
    return header + bytes(first_name) + random_bytes(600, 9);
}

Bytes pdf()
{
    return bytes("%PDF-1.7\n%\xe2\xe3\xcf\xd3\n1 0 obj\n<< /Type /Catalog >>\nendobj\n") + random_bytes(500, 3);
}

Bytes gzip()
{
    return from_hex("1f8b0800000000000003") + random_bytes(300, 5);
}

// An OLE compound file's header: how password-protected Office documents
// (and old-format ones) are stored.
Bytes ole()
{
    return from_hex("d0cf11e0a1b11ae1" "00000000000000000000000000000000" "3e000300feff0900") + random_bytes(500, 11);
}

// The end record alone: an empty zip, 22 bytes.
Bytes empty_zip()
{
    return bytes("PK\x05\x06") + Bytes(18, 0);
}

Bytes repeat(const Bytes& b, std::size_t times)
{
    Bytes out;
    for (std::size_t i = 0; i < times; ++i)
        out = out + b;
    return out;
}

} // namespace

class TestPlausibility : public QObject {
    Q_OBJECT

private slots:
    void judgeStart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Bytes>("start");
        QTest::addColumn<bool>("whole");
        QTest::addColumn<Plausibility>("expected");
        const auto P = Plausibility::Plausible, W = Plausibility::ProbablyWrongPassword, N = Plausibility::NoVerdict;
        const Bytes noise = random_bytes(4096, 1);

        QTest::newRow("pdf") << "zpráva.pdf" << pdf() << true << P;
        QTest::newRow("pdf, upper case name") << "ZPRAVA.PDF" << pdf() << true << P;
        QTest::newRow("pdf, noise") << "zpráva.pdf" << noise << false << W;
        QTest::newRow("png") << "obr.png" << png() << true << P;
        QTest::newRow("png, noise") << "obr.png" << noise << false << W;
        QTest::newRow("gzip") << "man.1.gz" << gzip() << true << P;
        QTest::newRow("gzip, noise") << "man.1.gz" << noise << false << W;
        QTest::newRow("zip") << "a.zip" << zip_entry("readme.txt") << true << P;
        QTest::newRow("docx, Word's first entry") << "a.docx" << zip_entry("[Content_Types].xml") << true << P;
        // Other writers put other entries first; a docx is a zip all the same.
        QTest::newRow("docx, another first entry") << "a.docx" << zip_entry("word/document.xml") << true << P;
        QTest::newRow("docx, noise") << "a.docx" << noise << false << W;
        QTest::newRow("jar") << "app.jar" << zip_entry("META-INF/MANIFEST.MF") << true << P;
        QTest::newRow("jar, noise") << "app.jar" << noise << false << W;

        // Writers choose the brand after "ftyp"; the database lists only some.
        QTest::newRow("mp4, an unlisted brand") << "film.mp4" << from_hex("00000020") + bytes("ftypiso5") + noise
                                               << false << P;
        QTest::newRow("m4a, an unlisted brand") << "song.m4a" << from_hex("0000001c") + bytes("ftypmp42") + noise
                                               << false << P;
        QTest::newRow("mp4, noise") << "film.mp4" << noise << false << W;

        // Binary workbooks are OLE files without the database's sample text.
        QTest::newRow("xls") << "sešit.xls" << from_hex("d0cf11e0a1b11ae1") + noise << false << P;
        QTest::newRow("xls, noise") << "sešit.xls" << noise << false << W;
        // Certificates come as DER as often as the PEM text the database knows.
        // Every form a kind's real files take passes. Password-protected
        // Office documents are OLE files whatever their name.
        QTest::newRow("docx, password-protected") << "a.docx" << ole() << true << P;
        QTest::newRow("xlsx, password-protected") << "a.xlsx" << ole() << true << P;
        QTest::newRow("zip, empty") << "a.zip" << empty_zip() << true << P;
        QTest::newRow("jar with a shell launcher")
            << "app.jar" << bytes("#!/bin/sh\nexec java -jar \"$0\" \"$@\"\n") + zip_entry("META-INF/") << true << P;
        // A stub longer than the bytes read may hide the zip, unless the
        // whole file was read and it holds none.
        QTest::newRow("zip behind a long program")
            << "setup.zip" << bytes("MZ") + random_bytes(plausibility_window, 12) << false << N;
        QTest::newRow("zip behind a program, whole file, no zip")
            << "setup.zip" << bytes("MZ") + random_bytes(5000, 12) << true << W;
        QTest::newRow("zst, pzstd's skippable frame first")
            << "a.tar.zst" << from_hex("502a4d180400000000000000") + from_hex("28b52ffd") + noise << false << P;
        QTest::newRow("so, ELF") << "libx.so.1" << from_hex("7f454c4602010100") + noise << false << P;
        QTest::newRow("pyc, any release") << "m.cpython-311.pyc" << from_hex("a70d0d0a") + noise << false << P;
        QTest::newRow("pcf.gz, compressed font") << "6x13.pcf.gz" << gzip() << true << P;
        QTest::newRow("flac behind an ID3 tag") << "song.flac" << bytes("ID3\x04") + noise << false << P;
        QTest::newRow("mov, free space first") << "film.mov" << from_hex("00000008") + bytes("wide") + noise << false
                                               << P;
        QTest::newRow("cur with the icon's type") << "arrow.cur" << from_hex("000001000100202000000100") + noise
                                                 << false << P;
        QTest::newRow("DER certificate") << "ca.der" << from_hex("308205a130820389a003020102") + noise << false << P;
        QTest::newRow("DER certificate, noise") << "ca.der" << noise << false << W;
        // Kinds whose real files may start with anything give no verdict.
        QTest::newRow("binary STL") << "model.stl" << bytes("Exported from Blender") + random_bytes(600, 13) << true
                                    << N;
        QTest::newRow("v7 tar") << "a.tar" << bytes("notes.txt") + Bytes(91, 0) + bytes("0000644") + noise << false
                                << N;

        QTest::newRow("text, UTF-8") << "čti.txt" << bytes(QString::fromStdU16String(czech).toStdString()) << true << P;
        QTest::newRow("text, UTF-16LE") << "a.txt" << utf16(czech, false) << true << P;
        QTest::newRow("text, UTF-16BE") << "a.txt" << utf16(czech, true) << true << P;
        const Bytes marked = utf16(czech, false);
        QTest::newRow("text, UTF-16LE without a mark") << "a.txt" << Bytes(marked.begin() + 2, marked.end()) << true
                                                      << P;
        QTest::newRow("html, UTF-32LE without a mark") << "a.html" << utf32le(czech) << true << P;
        QTest::newRow("text, ISO-2022-KR") << "a.txt" << bytes("\x1b$)C") + repeat(bytes("\x0e?*;g@{\x0f \x0e?9<v\x0f\n"), 20)
                                          << true << P;
        QTest::newRow("text, Latin-2") << "a.txt" << latin2() << true << P;
        // As iconv -t UTF-16LE writes it: no mark, and little or no ASCII.
        QTest::newRow("text, UTF-16LE Russian without a mark") << "a.txt" << utf16(russian, false, false) << true
                                                               << P;
        QTest::newRow("text, UTF-16LE Greek without a mark") << "a.txt" << utf16(greek, false, false) << true << P;
        QTest::newRow("text, UTF-16LE Chinese without a mark") << "a.txt" << utf16(chinese, false, false) << true
                                                               << P;
        QTest::newRow("text, UTF-16BE Chinese without a mark") << "a.txt" << utf16(chinese, true, false) << true
                                                               << P;
        QTest::newRow("text, fields separated by ^A")
            << "export.txt" << repeat(bytes("1042\x01Nov\xe1k\x01Praha\x01\x02sklad\x02\n"), 40) << true << P;
        QTest::newRow("text, names separated by NUL") << "files.txt" << repeat(bytes("./src/a.cpp\0./b.h\0"), 40)
                                                      << true << P;
        QTest::newRow("text, binary fields past the first kilobyte")
            << "dump.sql" << repeat(bytes("-- dump of table data\n"), 50) + noise << false << P;
        QTest::newRow("text, NUL padded") << "a.log" << Bytes(2000, 0) + bytes("<title>x</title>") << true << P;
        QTest::newRow("text, noise") << "a.txt" << noise << false << W;
        QTest::newRow("text, noise after a byte order mark") << "a.txt" << Bytes{0xFF, 0xFE} + noise << false << W;
        // A text kind's own signature rescues its binary variants.
        QTest::newRow("EPS with a preview") << "obr.eps" << from_hex("c5d0d3c6") + noise << false << P;
        QTest::newRow("svg, noise") << "icon.svg" << noise << false << W;
        QTest::newRow("text in a folder with a dot, Windows path")
            << "C:\\data.pdf\\poznámky.txt" << latin2() << true << P;

        QTest::newRow("unknown name, noise") << "data.qqqq" << noise << false << N;
        QTest::newRow("no extension, noise") << "Makefile-or-not" << noise << false << N;
        QTest::newRow("empty file") << "a.pdf" << Bytes() << true << N;
        QTest::newRow("one byte") << "a.txt" << Bytes{0x07} << true << N;
        QTest::newRow("a name that lies, known kind") << "photo.pdf" << png() << true << W;
        QTest::newRow("a name that lies, unknown kind") << "photo.qqqq" << png() << true << N;
        // A Game Boy cartridge's logo sits at offset 260: bytes short of it
        // cannot decide, unless they are the whole file.
        QTest::newRow("signature past the bytes read") << "a.gb" << random_bytes(200, 4) << false << N;
        QTest::newRow("signature past the end of the file") << "a.gb" << random_bytes(200, 4) << true << W;
    }

    void judgeStart()
    {
        QFETCH(QString, name);
        QFETCH(Bytes, start);
        QFETCH(bool, whole);
        QFETCH(Plausibility, expected);
        QCOMPARE(judge_start(name.toStdString(), start, whole), expected);
    }

    // A wrong key gives bytes that look random: none of them may pass as a
    // file of a known kind, whatever the size.
    void randomNeverPasses_data()
    {
        QTest::addColumn<QString>("name");
        for (const char* name :
             {"a.txt", "a.pdf", "a.png", "a.docx", "a.gz", "a.svg", "a.html", "a.py", "a.xml", "a.zst", "a.so"})
            QTest::newRow(name) << QString(name);
    }

    void randomNeverPasses()
    {
        QFETCH(QString, name);
        for (std::uint32_t seed = 0; seed < 300; ++seed) {
            const std::size_t size = seed % 3 == 0 ? 256 : seed % 3 == 1 ? 5000 : plausibility_window;
            const bool whole = size < plausibility_window;
            const Plausibility p = judge_start(name.toStdString(), random_bytes(size, seed), whole);
            if (p != Plausibility::ProbablyWrongPassword)
                QFAIL(qPrintable(QString("seed %1, %2 bytes passed").arg(seed).arg(size)));
        }
    }

    // The right and a wrong password on encrypted files, through the file.
    void checkPassword_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Bytes>("plain");
        QTest::newRow("pdf") << "a.pdf" << pdf();
        QTest::newRow("png") << "a.png" << png();
        QTest::newRow("docx") << "a.docx" << zip_entry("[Content_Types].xml");
        QTest::newRow("jar") << "a.jar" << zip_entry("META-INF/MANIFEST.MF");
        QTest::newRow("gzip") << "a.tgz" << gzip();
        QTest::newRow("text, longer than the window") << "a.txt" << repeat(latin2(), 3000);
    }

    void checkPassword()
    {
        QFETCH(QString, name);
        QFETCH(Bytes, plain);
        QTemporaryDir dir;
        const std::filesystem::path source = dir.filePath("file.t2k").toStdString();
        // Only the first half of the UTF-16 bytes is hashed: the passwords differ there.
        const std::u16string right = u"Heslo-č.1", wrong = u"heslo-č.1";
        Bytes encrypted = plain;
        {
            CipherContext context = CipherContext::acquire();
            context.import_rc4_key(derive_key_bytes(right, KeyRule::Strong128).span()).encrypt(encrypted);
        }
        write_file(source, encrypted);
        const std::filesystem::path target = std::filesystem::path(dir.path().toStdString()) / name.toStdString();

        QCOMPARE(check_password(source, target, right, KeyRule::Strong128), Plausibility::Plausible);
        QCOMPARE(check_password(source, target, wrong, KeyRule::Strong128), Plausibility::ProbablyWrongPassword);
        // The old 40-bit rule makes another key from the same password.
        QCOMPARE(check_password(source, target, right, KeyRule::Base40), Plausibility::ProbablyWrongPassword);
        // The same from bytes already read, e.g. peeked from standard input.
        const std::size_t peeked = std::min(encrypted.size(), plausibility_window);
        const bool whole = peeked == encrypted.size();
        QCOMPARE(judge_encrypted_start(name.toStdString(), std::span(encrypted).first(peeked), whole, right,
                                       KeyRule::Strong128),
                 Plausibility::Plausible);
        QCOMPARE(judge_encrypted_start(name.toStdString(), std::span(encrypted).first(peeked), whole, wrong,
                                       KeyRule::Strong128),
                 Plausibility::ProbablyWrongPassword);
        // Encrypted bytes are not the file either.
        QCOMPARE(judge_start(name.toStdString(), std::span(encrypted).first(peeked), whole),
                 Plausibility::ProbablyWrongPassword);
        QCOMPARE(read_file(source), encrypted); // the check only reads
        QCOMPARE(entries(dir.path().toStdString()), std::set<std::string>{"file.t2k"});
    }

    // Nothing to read gives no verdict; a named pipe is not even opened, as
    // that would wait for a writer and take bytes the job needs.
    void sourceNotAPlainFile()
    {
        QTemporaryDir dir;
        const std::filesystem::path folder = dir.path().toStdString();
        QCOMPARE(check_password(folder / "missing.t2k", "a.pdf", u"x", KeyRule::Strong128), Plausibility::NoVerdict);
        QCOMPARE(check_password(folder, "a.pdf", u"x", KeyRule::Strong128), Plausibility::NoVerdict);
#ifndef _WIN32
        const std::filesystem::path fifo = folder / "pipe.t2k";
        QCOMPARE(::mkfifo(fifo.c_str(), 0600), 0);
        QCOMPARE(check_password(fifo, "a.pdf", u"x", KeyRule::Strong128), Plausibility::NoVerdict);
#endif
    }
};

QTEST_GUILESS_MAIN(TestPlausibility)
#include "tst_plausibility.moc"
