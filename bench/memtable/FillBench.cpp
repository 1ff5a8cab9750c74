// Filling a memory table shaped like the results window's TabRes (a
// 30-character Cyrillic name, a smallint, nine floats) through Insert or
// Append, field assignments and Post, with the table sorted on the name as
// its AfterOpen handler does: with indexes disabled (as TabRes is stored) and
// enabled, for growing row counts. A fill that stays linear takes about four
// times as long for four times the rows: the last lines give the time per row
// at 64,000 rows over that at 16,000 (target: at most 1.3). Each fill is
// checked: the rows must come out in name order.
#include "memtable/VemtMemTable.h"
#include "platform/rtl/Collation.h"

#include "common/BenchTiming.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

using namespace zorbel;
using zorbel::bench::TContender;

namespace {

constexpr int kRuns = 7;
const char *const kFloats[] = {"sdt", "sct", "amt", "sdr", "scr", "amr", "sdq", "scq", "amq"};

struct Fill {
    double Seconds = 0;
    bool InOrder = false;
};

Fill FillTable(const std::vector<QString> &names, bool enableIndexes, bool insert)
{
    TVemtMemTable table;
    table.FieldDefs().Add(QStringLiteral("id"), ftSmallint);
    table.FieldDefs().Add(QStringLiteral("nm"), ftString, 30);
    for (const char *name : kFloats)
        table.FieldDefs().Add(QString::fromLatin1(name), ftFloat);
    table.SetEnableIndexes(enableIndexes);
    table.SetSortFields(QStringLiteral("nm"));
    table.Open();
    table.Sort();
    TField *id = table.FieldByName(QStringLiteral("id"));
    TField *nm = table.FieldByName(QStringLiteral("nm"));
    std::vector<TField *> floats;
    for (const char *name : kFloats)
        floats.push_back(table.FieldByName(QString::fromLatin1(name)));

    const auto start = std::chrono::steady_clock::now();
    table.DisableControls();
    for (size_t i = 0; i < names.size(); ++i) {
        if (insert)
            table.Insert();
        else
            table.Append();
        id->SetAsInteger(static_cast<int>(i % 30000));
        nm->SetAsString(names[i]);
        for (size_t f = 0; f < floats.size(); ++f)
            floats[f]->SetAsFloat(static_cast<double>((i * 7 + f) % 1000) / 4.0);
        table.Post();
    }
    table.EnableControls();
    Fill fill;
    fill.Seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

    fill.InOrder = table.RecordCount() == static_cast<int>(names.size());
    QString previous;
    table.First();
    while (fill.InOrder && !table.Eof()) {
        const QString name = nm->AsString();
        fill.InOrder = CompareRussian(previous, name, false) <= 0;
        previous = name;
        table.Next();
    }
    return fill;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QString alphabet = QStringLiteral("абвгдеёжзийклмнопрстуфхцчшщъыьэюя");
    std::mt19937 random(42);
    bool allInOrder = true;
    std::printf("fill by Post, table sorted on a 30-character name, %d runs: min / median\n", kRuns);
    std::printf("%8s  %-6s  %22s  %22s\n", "rows", "by", "indexes off", "indexes on");
    // An argument limits the largest row count (a quadratic fill takes minutes).
    const int maxRows = argc > 1 ? std::atoi(argv[1]) : 64000;
    // Per row count, by (Append, Insert) and indexes (off, on): the fills.
    std::vector<std::pair<int, std::vector<TContender>>> figures;
    for (int rows : {1000, 4000, 16000, 64000}) {
        if (rows > maxRows)
            break;
        std::vector<QString> names;
        for (int i = 0; i < rows; ++i) {
            QString name;
            for (int c = 0; c < 30; ++c) {
                const QChar letter = alphabet[static_cast<qsizetype>(random() % alphabet.size())];
                name += c == 0 ? letter.toUpper() : letter;
            }
            names.push_back(name);
        }
        std::vector<TContender> fills;
        for (bool insert : {false, true})
            for (bool on : {false, true})
                fills.push_back({std::string(insert ? "Insert" : "Append") + (on ? " on" : " off"), {}, {}});
        // The four kinds take turns, so that a load on the machine falls on all.
        for (int run = 0; run < kRuns; ++run)
            for (size_t k = 0; k < fills.size(); ++k) {
                const Fill fill = FillTable(names, k % 2 == 1, k >= 2);
                allInOrder = allInOrder && fill.InOrder;
                fills[k].Seconds.push_back(fill.Seconds);
            }
        for (size_t k = 0; k < fills.size(); k += 2)
            std::printf("%8d  %-6s  %9.1f / %6.1f ms  %9.1f / %6.1f ms\n", rows, k >= 2 ? "Insert" : "Append",
                        fills[k].Min() * 1000, fills[k].Median() * 1000, fills[k + 1].Min() * 1000,
                        fills[k + 1].Median() * 1000);
        figures.emplace_back(rows, std::move(fills));
    }
    if (figures.size() == 4) {
        const std::vector<TContender> &small = figures[2].second;
        const std::vector<TContender> &large = figures[3].second;
        std::printf("time per row at %d over that at %d (min / median):\n", figures[3].first, figures[2].first);
        const double scale = double(figures[2].first) / figures[3].first;
        for (size_t k = 0; k < small.size(); ++k)
            std::printf("  %-10s  %.2f / %.2f\n", small[k].Name.c_str(), large[k].Min() / small[k].Min() * scale,
                        large[k].Median() / small[k].Median() * scale);
    }
    std::printf("order %s\n", allInOrder ? "right" : "WRONG");
    return allInOrder ? 0 : 1;
}
