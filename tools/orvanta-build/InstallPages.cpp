#include "tools/orvanta-build/InstallPages.h"

#include "platform/Error.h"
#include "platform/files/FileSystem.h"
#include "platform/text/Cp950.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <span>

namespace Orvanta::Build {
namespace {

const char kHelpPage[] = R"(<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=big5">
<title>全文檢索 使用說明</title>
<style>
body { font-family: "新細明體", serif; margin: 16px 24px; background: #FFFFF0; }
h1 { font-size: 20pt; color: #000080; }
h2 { font-size: 14pt; color: #000080; border-bottom: 1px solid #C0C0C0; }
td, th { border: 1px solid #C0C0C0; padding: 3px 8px; }
table { border-collapse: collapse; }
.key { font-family: monospace; font-weight: bold; }
</style>
</head>
<body>
<h1>全文檢索 使用說明</h1>
<p>本程式檢索所附中醫典籍的全文。在左上方的查詢框輸入關鍵字，按 <span class="key">Enter</span> 或按「全文搜尋」按鈕，左方清單即列出含有關鍵字的篇名；選取一個篇名，右方便顯示該篇全文，關鍵字以紅字標示。</p>

<h2>一、輸入關鍵字</h2>
<ul>
<li>多個關鍵字之間以半形空白分隔，每一個關鍵字都必須出現在同一篇之中。例：<b>發熱 頭痛</b> 列出同時提到「發熱」與「頭痛」的篇章。</li>
<li>關鍵字前加「-」（半形減號）：所有關鍵字都必須出現，與不加符號相同。例：<b>-人參 甘草</b>。</li>
<li>關鍵字前加「+」（半形加號）：任一關鍵字出現即可。例：<b>+桂枝湯 麻黃湯</b> 列出提到其中任何一方的篇章。</li>
<li>「-」與「+」只寫在整串關鍵字的最前面一次，不必每個關鍵字都加。全形的「－」、「＋」當作一般文字搜尋。</li>
<li>全形空白不分隔關鍵字；兩個關鍵字之間請只用一個半形空白。連續兩個半形空白之間是一個空的關鍵字，而每一篇都含有空的關鍵字：例如 <b>+人參&nbsp;&nbsp;甘草</b>（中間兩個空白）會列出全部篇章，<b>人參&nbsp;&nbsp;甘草</b> 則與 <b>人參 甘草</b> 相同。</li>
<li>查詢框空白時按 <span class="key">Enter</span>，列出全部篇章。</li>
<li>結果依年代排列，新者在前；以「+」搜尋時則依資料庫原有次序排列。</li>
<li>找不到資料時，會出現「資料不存在」的訊息，清單維持原狀。</li>
</ul>

<h2>二、查詢框的下拉清單</h2>
<p>以「全文搜尋」按鈕查詢過的關鍵字會記在查詢框的下拉清單裡，可再選取重查（按 <span class="key">Enter</span> 查詢的不記）。清單中另有兩個特別項目，選取後按「全文搜尋」按鈕執行：</p>
<table>
<tr><th>項目</th><th>作用</th></tr>
<tr><td>條件存取</td><td>開啟條件檔視窗：選擇磁碟機與資料夾，在檔案清單中按兩下條件檔（*.txt、*.set）即載入，編輯後按「存檔」存入檔案清單中所選的檔案。</td></tr>
<tr><td>條件清除</td><td>清除下拉清單中所有查詢過的關鍵字。</td></tr>
</table>

<h2>三、鍵盤與滑鼠</h2>
<table>
<tr><th>按鍵</th><th>作用</th></tr>
<tr><td class="key">Enter</td><td>在查詢框中：開始搜尋，並移到結果清單。</td></tr>
<tr><td class="key">↑ ↓</td><td>移到結果清單；在清單中逐篇上下移動，右方隨即顯示該篇。</td></tr>
<tr><td class="key">Esc</td><td>回到查詢框，並選取框中全部文字，可直接輸入新的關鍵字。</td></tr>
<tr><td class="key">F7</td><td>以預設印表機列印目前所選篇章的標題。</td></tr>
<tr><td class="key">F8</td><td>開關左下角的「異體字」，並以查詢框中的關鍵字重新搜尋。</td></tr>
</table>
<p>滑鼠停在結果清單上時，會以提示文字顯示滑鼠所指的完整篇名。清單上方、查詢框下方的記錄數字（例如「第3筆」）顯示目前所選的是第幾筆。</p>

<h2>四、小技巧</h2>
<ul>
<li>先用較少的關鍵字找出大範圍，再逐步加上關鍵字縮小範圍。</li>
<li>藥名、方名、病名都可作為關鍵字，例如：<b>當歸 川芎</b>、<b>+小柴胡湯 大柴胡湯</b>、<b>惡寒 發熱 無汗</b>。</li>
<li>英文與數字照原文輸入，例如 <b>Ginseng</b>、<b>it's</b>。</li>
</ul>

<h2>五、異體字</h2>
<p>古籍同一個字常有數種寫法。勾選結果清單下方的「異體字」（或按 <span class="key">F8</span>），每個關鍵字的各種寫法都會找到，也都以紅字標示：<b>人參</b> 也找出 人蔘、人&#21442;；<b>針</b> 也找出 鍼；<b>脈</b> 也找出 &#33033;；<b>藥</b> 也找出 葯；<b>證</b> 也找出 証；<b>黃</b> 也找出 &#40644;。繁體與簡體字（OpenCC 的單字對照表，不用詞語對照）、Unihan 的語義異體與 Z 異體都算同一個字。一個簡體字對應數個繁體字時，這幾個字也算同一個字，例如 乾、干、幹。</p>
<p>不勾選時（預設）只找與所輸入完全相同的字。勾選與否會記住，下次開啟時照舊。</p>
</body>
</html>
)";

const char kDemoPage[] = R"(<html>
<head>
<meta http-equiv="Content-Type" content="text/html; charset=big5">
<title>全文檢索 示範</title>
</head>
<body bgcolor="#FFFFF0">
<h1>全文檢索 示範</h1>
<p>本示範說明如何在所附的中醫典籍中找資料。回到程式，按「全文檢索」進入檢索視窗，依下列步驟操作：</p>
<ol>
<li>在查詢框輸入 <b>桂枝湯</b>，按 Enter：列出所有提到桂枝湯的篇章，右方顯示第一篇，「桂枝湯」以紅字標示。</li>
<li>輸入 <b>發熱 惡寒</b>，按 Enter：只列出兩者都提到的篇章。</li>
<li>輸入 <b>+麻黃湯 葛根湯</b>，按 Enter：列出提到其中任一方的篇章。</li>
<li>用 ↑ ↓ 在清單中移動，右方隨之顯示各篇；按 Esc 回到查詢框。</li>
<li>按 F7 列印目前所選篇章的標題。</li>
</ol>
<p>詳細說明請見檢索視窗開啟時顯示的使用說明。</p>
</body>
</html>
)";

// The pages are written with CR LF line ends, as every page of the collection.
QString withCrLf(const char* text)
{
    QString out = QString::fromUtf8(text);
    out.replace(QLatin1String("\n"), QLatin1String("\r\n"));
    return out;
}

void writeCp950(const QString& path, const QString& text)
{
    // A character missing from the code page would turn into "?" on disk.
    if (Cp950::decode(Cp950::encode(text)) != text)
        throw Error(ErrorCode::InvalidProcedureCall,
                    QStringLiteral("%1 holds a character outside code page 950.").arg(path));
    FileSystem::writeTextFile(path, text);
}

// The start screen looks for these pictures in the install folder; its
// demonstration button works only when the last one is there. The
// collection carries the program's own artwork under those names.
struct Picture {
    const char* name;
    const char* resource;
};

std::span<const Picture> pictures()
{
    static const Picture list[] = {
        {"index.jpg", ":/sample/background.jpg"},
        {"index-logo1.jpg", ":/sample/query-button.jpg"},
        {"index-logo2.jpg", ":/sample/demo-button.jpg"},
    };
    return list;
}

void copyPicture(const QString& resource, const QString& path)
{
    QFile in(resource);
    if (!in.open(QIODevice::ReadOnly))
        throw Error(ErrorCode::FileNotFound, QStringLiteral("The picture %1 is missing from this program.").arg(resource));
    const QByteArray bytes = in.readAll();
    QFile out(path);
    errno = 0;
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size() || !out.flush())
        throw Error(errno == ENOSPC ? ErrorCode::DiskFull : ErrorCode::PathFileAccessError,
                    QStringLiteral("Cannot write %1: %2").arg(path, out.errorString()));
}

} // namespace

QString helpPage()
{
    return withCrLf(kHelpPage);
}

QString demoPage()
{
    return withCrLf(kDemoPage);
}

QStringList installFileNames()
{
    QStringList names = {QStringLiteral("Help.htm"), QStringLiteral("demo/index.htm")};
    for (const Picture& p : pictures())
        names.append(QString::fromLatin1(p.name));
    return names;
}

void writeInstallPages(const QString& folder)
{
    const QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("demo")))
        throw Error(ErrorCode::PathNotFound, QStringLiteral("Cannot create %1.").arg(dir.filePath(QStringLiteral("demo"))));
    writeCp950(dir.filePath(QStringLiteral("Help.htm")), helpPage());
    writeCp950(dir.filePath(QStringLiteral("demo/index.htm")), demoPage());
    for (const Picture& p : pictures())
        copyPicture(QString::fromLatin1(p.resource), dir.filePath(QString::fromLatin1(p.name)));
}

} // namespace Orvanta::Build
