// The common window, the link label and FindTextNoCase; see TulnCommon.h.
#include "core/TulnCommon.h"

#include "platform/rtl/CodePages.h"
#include "platform/system/ShellOpen.h"
#include "platform/system/SysEnv.h"
#include "platform/system/SysPaths.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QStyle>
#include <algorithm>
#include <array>
#include <cctype>
#include <fcntl.h>

#ifndef ZORBEL_VERSION
#define ZORBEL_VERSION "0.0.0"
#endif

namespace zorbel {

const QString AuthorMailAddress = QStringLiteral("mailto:author@zorbel.example");
const QString ProgramWebAddress = QStringLiteral("https://zorbel.example");
const QString MakerWebAddress = QStringLiteral("https://ventaro.example");
const QString AlternativeAddress = QStringLiteral("https://mirror.zorbel.example");

namespace {

// The capital-letter table by Windows-1251 byte (see the header).
constexpr std::array<unsigned char, 256> MakeFoldTable()
{
    std::array<unsigned char, 256> t{};
    for (int i = 0; i < 256; ++i)
        t[size_t(i)] = static_cast<unsigned char>(i);
    for (int i = 0x61; i <= 0x7A; ++i)
        t[size_t(i)] = static_cast<unsigned char>(i - 0x20);
    for (int i = 0xE0; i <= 0xFF; ++i)
        t[size_t(i)] = static_cast<unsigned char>(i - 0x20);
    constexpr unsigned char pairs[][2] = {{0x83, 0x81}, {0x90, 0x80}, {0x9A, 0x8A}, {0x9C, 0x8C}, {0x9D, 0x8D},
                                          {0x9E, 0x8E}, {0x9F, 0x8F}, {0xA2, 0xA1}, {0xB3, 0xB2}, {0xB4, 0xA5},
                                          {0xB8, 0xA8}, {0xBA, 0xAA}, {0xBC, 0xA3}, {0xBE, 0xBD}, {0xBF, 0xAF}};
    for (const auto &p : pairs)
        t[p[0]] = p[1];
    return t;
}
constexpr std::array<unsigned char, 256> FoldTable = MakeFoldTable();

// Unicode characters of the Windows-1251 repertoire with their folded capital.
const QHash<char16_t, char16_t> &FoldMap()
{
    static const QHash<char16_t, char16_t> map = [] {
        std::array<char16_t, 256> unicode{};
        for (int b = 0; b < 256; ++b) {
            const QString s = Win1251ToUnicode(QByteArray(1, char(b)));
            unicode[size_t(b)] = s.size() == 1 ? s[0].unicode() : char16_t(0xFFFD);
        }
        QHash<char16_t, char16_t> m;
        for (int b = 0; b < 256; ++b)
            if (unicode[size_t(b)] != 0xFFFD && FoldTable[size_t(b)] != b)
                m.insert(unicode[size_t(b)], unicode[FoldTable[size_t(b)]]);
        return m;
    }();
    return map;
}

} // namespace

QChar FoldCapital(QChar c) { return QChar(FoldMap().value(c.unicode(), c.unicode())); }

int FindTextNoCase(const QString &TextToFind, const QString &TextToSearch, int StartPos)
{
    if (TextToFind.isEmpty() || TextToSearch.isEmpty() || StartPos < 1)
        return 0;
    const int m = int(TextToFind.size());
    const int candidates = int(TextToSearch.size()) - (m - 1) - (StartPos - 1);
    if (candidates <= 0)
        return 0;
    const QChar first = FoldCapital(TextToFind[0]);
    for (int pos = StartPos - 1; pos < StartPos - 1 + candidates; ++pos) {
        if (FoldCapital(TextToSearch[pos]) != first)
            continue;
        int k = m - 1;
        for (; k >= 1; --k) {
            const QChar a = TextToFind[k], b = TextToSearch[pos + k];
            if (a != b && FoldCapital(a) != FoldCapital(b))
                break;
        }
        if (k < 1)
            return pos + 1;
    }
    return 0;
}

QString ProgramVersionText()
{
    QStringList parts = QString::fromLatin1(ZORBEL_VERSION).split(QLatin1Char('.'));
    while (parts.size() < 4)
        parts << QStringLiteral("0");
    return parts.mid(0, 4).join(QLatin1Char('.'));
}

namespace {

// The version record the program file carries, found by FileVersionText in
// the file's bytes: the key, then four numbers joined by points, then a zero byte.
constexpr char VersionKey[] = "ZorbelFileVersion=";
[[gnu::used]] const char VersionRecord[] = "ZorbelFileVersion=" ZORBEL_VERSION;

// Parses "a.b.c.d" (missing parts 0, each part 0..65535).
bool ParseVersion(const QByteArray &text, quint16 (&parts)[4])
{
    const QList<QByteArray> items = text.split('.');
    if (items.isEmpty() || items.size() > 4)
        return false;
    for (int i = 0; i < 4; ++i) {
        parts[i] = 0;
        if (i >= items.size())
            continue;
        bool ok = false;
        const uint value = items[i].toUInt(&ok);
        if (!ok || value > 0xFFFF || items[i].isEmpty() || !std::isdigit(uchar(items[i][0])))
            return false;
        parts[i] = quint16(value);
    }
    return true;
}

} // namespace

bool FileVersionText(const QString &FileName, QString &Text, quint32 &High)
{
    // The file is read through the system seam in runs of a mebibyte, each
    // searched together with the tail of the run before, so that a record
    // across two runs is found. A read that fails before a record is found
    // finds none.
    constexpr qsizetype MaxText = 24; // "65535.65535.65535.65535" and a spare
    const int fd = TSysEnv::Open(FileName, O_RDONLY);
    if (fd < 0)
        return false;
    const QByteArrayView key(VersionKey, sizeof VersionKey - 1);
    QByteArray run(1 << 20, Qt::Uninitialized), window;
    bool found = false;
    for (bool atEnd = false; !found && !atEnd;) {
        const int64_t n = TSysEnv::Read(fd, run.data(), run.size());
        if (n < 0)
            break;
        atEnd = n == 0;
        window.append(run.constData(), qsizetype(n));
        // What the next run is searched with: the tail that may begin a key,
        // or a record whose text has not ended yet.
        qsizetype keep = std::max<qsizetype>(0, window.size() - (key.size() - 1));
        for (qsizetype at = window.indexOf(key); at >= 0 && !found; at = window.indexOf(key, at + 1)) {
            const qsizetype start = at + key.size();
            const qsizetype zero = window.indexOf('\0', start);
            if (zero < 0 && !atEnd && window.size() - start <= MaxText) {
                keep = at;
                break;
            }
            quint16 parts[4];
            if (zero < 0 || zero - start > MaxText || !ParseVersion(window.mid(start, zero - start), parts))
                continue;
            Text = QStringLiteral("%1.%2.%3.%4").arg(parts[0]).arg(parts[1]).arg(parts[2]).arg(parts[3]);
            High = quint32(parts[0]) << 16 | parts[1];
            found = true;
        }
        window.remove(0, keep);
    }
    TSysEnv::Close(fd);
    return found;
}

// ---- link label ----

TUrllabel::TUrllabel(QWidget *parent, const QString &name) : TLabel(parent, name)
{
    QFont f = font();
    f.setUnderline(true);
    setFont(f);
    SetFontColor(RGB(0, 0, 255));
    SetCursor(crHandPoint);
}

void TUrllabel::Click()
{
    TLabel::Click();
    ShellOpen(Caption());
}

bool TUrllabel::ControlEvent(QEvent *event)
{
    switch (event->type()) {
    case QEvent::Enter: SetFontColor(RGB(255, 0, 0)); break;
    case QEvent::Leave: SetFontColor(RGB(0, 0, 255)); break;
    default: break;
    }
    return TLabel::ControlEvent(event);
}

// ---- common window ----

TFormCommon::TFormCommon()
{
    SetName(QStringLiteral("FormCommon"));
    SetCaption(QStringLiteral("About..."));
    SetBorderStyle(TFormBorderStyle::bsDialog);
    SetPosition(TPosition::poScreenCenter);
    QFont arial(QStringLiteral("Arial"));
    arial.setPixelSize(11);
    setFont(arial);
    ResizeClient(217, 63);

    Image1 = new TImage(this, QStringLiteral("Image1"));
    Image1->SetWidth(51);
    Image1->SetAlign(TAlign::alLeft);
    Image1->SetCenter(true);
    Image1->SetCursor(crHandPoint);
    Image1->SetHint(QStringLiteral("alternative site: ") + AlternativeAddress);
    Image1->OnClick = [this](TObject *s) { Image1Click(s); };

    PanName = new TPanel(this, QStringLiteral("PanName"));
    PanName->SetBevelOuter(TBevelCut::bvNone);
    PanName->SetAlignment(taLeftJustify);
    PanName->SetAlign(TAlign::alClient);
    QFont times(QStringLiteral("Times New Roman"));
    times.setPixelSize(21);
    times.setBold(true);
    PanName->setFont(times);
    PanName->SetFontColor(clNavy);

    EdPas = new TEdit(PanName, QStringLiteral("EdPas"));
    EdPas->SetBounds(1, 17, 100, 24);
    QFont courier(QStringLiteral("Courier New"));
    courier.setPixelSize(13);
    EdPas->setFont(courier);
    EdPas->SetFontColor(clBlack);
    EdPas->SetMaxLength(20);
    EdPas->SetPasswordChar(QLatin1Char('*'));
    EdPas->SetVisible(false);
    EdPas->OnKeyPress = [this](TObject *s, QChar &k) { EdPasKeyPress(s, k); };

    OnShow = [this](TObject *s) { FormShow(s); };
    OnKeyPress = [this](TObject *s, QChar &k) { FormKeyPress(s, k); };
    DoCreate();
}

TFormCommon::~TFormCommon() { DoDestroy(); }

void TFormCommon::FormShow(TObject *)
{
    if (EdPas->Visible()) {
        if (EdPas->CanFocus())
            EdPas->SetFocus();
        return;
    }
    QIcon icon = QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_ComputerIcon);
    Image1->SetPicture(icon.pixmap(32, 32));
    // The version the program file carries (the build's own when it carries none).
    const QString program = ProgramFile();
    QString version;
    quint32 high = 0;
    if (!FileVersionText(program, version, high))
        version = ProgramVersionText();
    PanName->SetCaption(ShownName(QFileInfo(program).completeBaseName()) + QLatin1Char(' ') + version);
    if (!LinkMail) {
        QFont small(QStringLiteral("Arial"));
        small.setPixelSize(11);
        LinkMail = new TUrllabel(PanName, QStringLiteral("LinkMail"));
        LinkMail->setFont([&] { QFont f = small; f.setUnderline(true); return f; }());
        LinkMail->SetCaption(AuthorMailAddress);
        LinkMail->SetAlign(TAlign::alTop);
        LinkWeb = new TUrllabel(PanName, QStringLiteral("LinkWeb"));
        LinkWeb->setFont(LinkMail->font());
        LinkWeb->SetCaption(ProgramWebAddress);
        LinkWeb->SetAlign(TAlign::alBottom);
        LinkMail->show();
        LinkWeb->show();
    }
}

void TFormCommon::FormKeyPress(TObject *, QChar &Key)
{
    if (Key == QChar(u'\x1b')) {
        Key = QChar();
        Close();
    }
}

void TFormCommon::EdPasKeyPress(TObject *, QChar &Key)
{
    if (Key == QChar(u'\r')) {
        Key = QChar();
        SetModalResult(mrOk);
    } else if (Key == QChar(u'\x1b')) {
        Key = QChar();
        SetModalResult(mrCancel);
    }
}

void TFormCommon::Image1Click(TObject *) { ShellOpen(MakerWebAddress); }

} // namespace zorbel
