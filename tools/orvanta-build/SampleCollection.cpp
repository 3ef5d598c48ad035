#include "tools/orvanta-build/SampleCollection.h"

#include "platform/Error.h"
#include "platform/text/Cp950.h"
#include "tools/orvanta-build/CollectionWriter.h"
#include "tools/orvanta-build/InstallPages.h"
#include "tools/orvanta-build/Progress.h"
#include "tools/orvanta-build/Vocabulary.h"

#include <QDir>
#include <QFile>
#include <QStringList>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Orvanta::Build {
namespace {

// SplitMix64: tiny, fast and the same on every platform, which is all a
// reproducible sample needs.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}

    uint64_t next()
    {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // 0 <= result < n
    uint32_t below(uint32_t n) { return uint32_t(((next() >> 32) * uint64_t(n)) >> 32); }
    // 0 < result <= 1
    double unit() { return double((next() >> 11) + 1) * (1.0 / 9007199254740992.0); }

private:
    uint64_t m_state;
};

constexpr uint64_t kSeed = 0x4F7276616E746121ull;

// A piece of text in both of its forms: UTF-8 for the database, code page 950
// for the page.
struct Term {
    std::string utf8;
    std::string cp950;
};

Term makeTerm(const char* utf8)
{
    const QString text = QString::fromUtf8(utf8);
    const QByteArray bytes = Cp950::encode(text);
    // A character the code page lacks would come out as "?" in the page but
    // not in the database; the word stock must not hold one.
    if (Cp950::decode(bytes) != text)
        throw Error(ErrorCode::InvalidProcedureCall,
                    QStringLiteral("The sample word %1 has no code page 950 form.").arg(text));
    return {std::string(utf8), bytes.toStdString()};
}

std::vector<Term> makeTerms(std::span<const char* const> words)
{
    std::vector<Term> out;
    out.reserve(words.size());
    for (const char* w : words)
        out.push_back(makeTerm(w));
    return out;
}

void append(std::string& page, std::string& content, const Term& t)
{
    page += t.cp950;
    content += t.utf8;
}

std::string chineseNumber(int n)
{
    static const char* const digits[] = {"", "一", "二", "三", "四", "五", "六", "七", "八", "九"};
    std::string out;
    if (n >= 100) {
        out += digits[n / 100];
        out += "百";
        n %= 100;
        if (n > 0 && n < 10)
            out += "零";
    }
    if (n >= 10) {
        if (n >= 20 || !out.empty())
            out += digits[n / 10];
        out += "十";
        n %= 10;
    }
    out += digits[n];
    return out;
}

class Generator {
public:
    Generator()
    {
        m_slots['H'] = makeTerms(Vocabulary::herbs());
        m_slots['S'] = makeTerms(Vocabulary::symptoms());
        m_slots['F'] = makeTerms(Vocabulary::formulas());
        m_slots['P'] = makeTerms(Vocabulary::pulses());
        m_slots['O'] = makeTerms(Vocabulary::organs());
        m_slots['T'] = makeTerms(Vocabulary::tastes());
        m_slots['Q'] = makeTerms(Vocabulary::natures());
        m_slots['D'] = makeTerms(Vocabulary::physicians());
        m_slots['B'] = makeTerms(Vocabulary::books());
        m_slots['A'] = makeTerms(Vocabulary::acupoints());
        m_slots['V'] = makeTerms(Vocabulary::vehicles());
        m_slots['L'] = makeTerms(Vocabulary::latinNames());
        m_slots['G'] = makeTerms(Vocabulary::grades());
        for (int n = 1; n <= 10; ++n)
            m_slots['N'].push_back(makeTerm(chineseNumber(n).c_str()));
        for (int n = 0; n <= 120; ++n)
            m_numbers.push_back(makeTerm(chineseNumber(n).c_str()));
        m_topics = makeTerms(Vocabulary::topics());

        for (const char* pattern : Vocabulary::sentencePatterns())
            m_patterns.push_back(parsePattern(pattern));

        m_titleOpen = makeTerm("《");
        m_titleBookEnd = makeTerm("》卷");
        m_titleChapter = makeTerm(" 第");
        m_titleChapterEnd = makeTerm("篇 ");
    }

    // Document `index` into `page` (code page 950) and `content`, `subject`
    // and `date` (UTF-8, as the database holds them). False date: NULL.
    bool generate(qint64 index, std::string& page, std::string& subject, std::string& content,
                  std::string& date)
    {
        Random rng(kSeed ^ (uint64_t(index) * 0xD1B54A32D192ED03ull));
        rng.next();

        std::string titlePage;
        subject.clear();
        append(titlePage, subject, m_titleOpen);
        append(titlePage, subject, pick(rng, m_slots['B']));
        append(titlePage, subject, m_titleBookEnd);
        append(titlePage, subject, m_numbers[1 + rng.below(30)]);
        append(titlePage, subject, m_titleChapter);
        append(titlePage, subject, m_numbers[1 + rng.below(120)]);
        append(titlePage, subject, m_titleChapterEnd);
        append(titlePage, subject, pick(rng, m_topics));

        // Most pages are short, a few long: 1 KB / sqrt(u) has its median near
        // 1.4 KB, a mean near 2 KB and one page in a hundred above 10 KB. A
        // page ends with the sentence that reaches the target; no sentence
        // comes near kSentenceRoom bytes, so no page passes 50 KB.
        static constexpr std::string_view kEnd = "</body>\r\n</html>\r\n";
        static constexpr std::string_view kParagraphEnd = "</p>\r\n";
        constexpr double kMin = 1024, kMax = 50 * 1024, kSentenceRoom = 400;
        const size_t target = size_t(std::min(kMax - kSentenceRoom - double(kEnd.size() + kParagraphEnd.size()),
                                              kMin / std::sqrt(rng.unit())));
        const size_t closing = kEnd.size() + kParagraphEnd.size();

        page.clear();
        page += "<html>\r\n<head>\r\n"
                "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=big5\">\r\n"
                "<title>";
        page += titlePage;
        page += "</title>\r\n</head>\r\n<body>\r\n<h1>";
        page += titlePage;
        page += "</h1>\r\n";
        content = subject;

        while (page.size() + closing < target) {
            page += "<p>";
            content += ' ';
            const int sentences = 2 + int(rng.below(5));
            for (int s = 0; s < sentences; ++s) {
                writeSentence(rng, page, content);
                if (page.size() + closing >= target)
                    break;
            }
            page += kParagraphEnd;
        }
        page += kEnd;

        // Dates from the Han to the present, most before 1900; a few missing.
        if (rng.below(1000) < 3) {
            date.clear();
            return false;
        }
        const int year = rng.below(10) < 3 ? 1900 + int(rng.below(126)) : 200 + int(rng.below(1700));
        const int month = 1 + int(rng.below(12));
        static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
        const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
        const int day = 1 + int(rng.below(uint32_t(days[month - 1] + (month == 2 && leap ? 1 : 0))));
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", year, month, day,
                      int(rng.below(24)), int(rng.below(60)), int(rng.below(60)));
        date = buf;
        return true;
    }

private:
    struct Piece {
        char slot = 0; // 0: literal text
        Term literal;
    };
    using Pattern = std::vector<Piece>;

    static Pattern parsePattern(const char* pattern)
    {
        Pattern out;
        std::string literal;
        const auto flush = [&] {
            if (!literal.empty())
                out.push_back({0, makeTerm(literal.c_str())});
            literal.clear();
        };
        for (const char* p = pattern; *p; ++p) {
            if (p[0] == '{' && p[1] && p[2] == '}') {
                flush();
                out.push_back({p[1], {}});
                p += 2;
            } else {
                literal += *p;
            }
        }
        flush();
        return out;
    }

    static const Term& pick(Random& rng, const std::vector<Term>& terms)
    {
        return terms[rng.below(uint32_t(terms.size()))];
    }

    void writeSentence(Random& rng, std::string& page, std::string& content)
    {
        const Pattern& pattern = m_patterns[rng.below(uint32_t(m_patterns.size()))];
        for (const Piece& piece : pattern)
            append(page, content, piece.slot ? pick(rng, m_slots[uint8_t(piece.slot)]) : piece.literal);
    }

    std::array<std::vector<Term>, 128> m_slots;
    std::vector<Term> m_numbers;
    std::vector<Term> m_topics;
    std::vector<Pattern> m_patterns;
    Term m_titleOpen, m_titleBookEnd, m_titleChapter, m_titleChapterEnd;
};

void makeFolder(const QByteArray& path)
{
    if (::mkdir(path.constData(), 0777) != 0 && errno != EEXIST)
        throw Error(ErrorCode::PathNotFound,
                    QStringLiteral("Cannot create %1: %2")
                        .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno))));
}

// One system call per step: a million pages leave no room for more.
void writeWhole(const QByteArray& path, const std::string& bytes)
{
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    bool ok = fd >= 0;
    size_t written = 0;
    while (ok && written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + written, bytes.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        ok = n > 0;
        if (ok)
            written += size_t(n);
    }
    const int error = errno;
    if (fd >= 0 && ::close(fd) != 0)
        ok = false;
    if (!ok)
        throw Error(error == ENOSPC ? ErrorCode::DiskFull : ErrorCode::PathFileAccessError,
                    QStringLiteral("Cannot write %1: %2")
                        .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(error))));
}

// A sample replaces a folder's collection and its help page whole, so a
// folder that holds either (a user's edited Help.htm, say) is left alone
// unless the user says otherwise. Names are compared ignoring letter case,
// as the program finds them.
void refuseExistingCollection(const QString& folder)
{
    const QDir dir(folder);
    QStringList found;
    for (const QString& name : QStringList{QStringLiteral("jst.mdb")} + installFileNames()) {
        const qsizetype slash = name.lastIndexOf(QLatin1Char('/'));
        const QDir in(dir.filePath(name.left(std::max<qsizetype>(slash, 0))));
        const QStringList present = in.entryList({name.mid(slash + 1)}, QDir::AllEntries | QDir::Hidden | QDir::System);
        for (const QString& entry : present)
            found.append(slash < 0 ? entry : name.left(slash + 1) + entry);
    }
    if (!found.isEmpty())
        throw Error(ErrorCode::PermissionDenied,
                    (found.size() == 1
                         ? QStringLiteral("%1 already holds %2; a sample would replace it. "
                                          "Use --force to replace it, or choose an empty folder.")
                         : QStringLiteral("%1 already holds %2; a sample would replace them. "
                                          "Use --force to replace them, or choose an empty folder."))
                        .arg(QDir::toNativeSeparators(dir.absolutePath()), found.join(QStringLiteral(", "))));
}

} // namespace

SampleSummary writeSampleCollection(const QString& folder, qint64 count, bool force, bool contentIndex)
{
    if (count < 0 || count > kMaxSampleDocuments)
        throw Error(ErrorCode::InvalidProcedureCall,
                    QStringLiteral("The sample size must lie between 0 and %1.").arg(kMaxSampleDocuments));
    if (!force)
        refuseExistingCollection(folder);
    if (!QDir().mkpath(folder))
        throw Error(ErrorCode::PathNotFound, QStringLiteral("Cannot create %1.").arg(folder));

    Generator generator;
    CollectionWriter writer(folder, force, contentIndex);

    const QByteArray root = QFile::encodeName(QDir(folder).absolutePath());
    makeFolder(root + "/data");

    SampleSummary summary;
    Progress progress(QStringLiteral("Writing"), count);
    std::string page, subject, content, date;
    page.reserve(64 * 1024);
    content.reserve(96 * 1024);
    char htm[32];
    char local[32];
    for (qint64 i = 0; i < count; ++i) {
        progress.update(i);
        const int folderNo = int(i / 1000);
        if (i % 1000 == 0) {
            std::snprintf(local, sizeof local, "/data/%03d", folderNo);
            makeFolder(root + local);
        }
        const bool hasDate = generator.generate(i, page, subject, content, date);
        std::snprintf(local, sizeof local, "/data/%03d/s%06lld.htm", folderNo, static_cast<long long>(i));
        writeWhole(root + local, page);
        const int htmLength = std::snprintf(htm, sizeof htm, "data\\%03d\\s%06lld.htm", folderNo,
                                            static_cast<long long>(i));
        writer.addRow(subject, std::string_view(htm, size_t(htmLength)), content,
                      hasDate ? std::optional<std::string_view>(date) : std::nullopt);
        summary.pageBytes += qint64(page.size());
        ++summary.documents;
    }
    writeInstallPages(folder);
    writer.commit();
    progress.finish(count);
    return summary;
}

} // namespace Orvanta::Build
