// Sorting a memory table shaped like the results window's TabRes (a
// 30-character Cyrillic name, a smallint, nine floats): 200,000 records by the
// name and by a float, against std::stable_sort over equivalent structs with
// the same collation, in one run. Both orders must agree record for record
// (equal keys keep their insertion order in both).
#include "memtable/StoreTable.h"
#include "platform/rtl/Collation.h"

#include "../BenchTiming.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

using namespace zorbel;
using zorbel::bench::BestSeconds;

namespace {

constexpr int kRecords = 200000;
constexpr int kRuns = 3;
const char *const kFloats[] = {"sdt", "sct", "amt", "sdr", "scr", "amr", "sdq", "scq", "amq"};

struct Row {
    QString nm;
    std::int16_t id;
    double values[9];
    int slot;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    test::StoreTable table;
    table.FieldDefs().Add(QStringLiteral("id"), ftSmallint);
    table.FieldDefs().Add(QStringLiteral("nm"), ftString, 30);
    for (const char *name : kFloats)
        table.FieldDefs().Add(QString::fromLatin1(name), ftFloat);
    table.Open();

    const QString alphabet = QStringLiteral("абвгдеёжзийклмнопрстуфхцчшщъыьэюя");
    std::mt19937 random(42);
    std::vector<Row> rows;
    rows.reserve(kRecords);
    for (int i = 0; i < kRecords; ++i) {
        Row row;
        for (int c = 0; c < 30; ++c) {
            const QChar letter = alphabet[static_cast<qsizetype>(random() % alphabet.size())];
            row.nm += c == 0 ? letter.toUpper() : letter;
        }
        row.id = static_cast<std::int16_t>(random() % 30000);
        for (double &value : row.values)
            value = static_cast<double>(random() % 1000000) / 100.0;
        TVemtRecord *record = table.NewValues();
        table.SetValue(record, QStringLiteral("id"), row.id);
        table.SetString(record, QStringLiteral("nm"), row.nm);
        for (int f = 0; f < 9; ++f)
            table.SetValue(record, QString::fromLatin1(kFloats[f]), row.values[f]);
        row.slot = table.Post(record)->SlotIndex;
        rows.push_back(row);
    }

    struct Case {
        const char *field;
        bool (*less)(const Row &, const Row &);
    };
    const Case cases[] = {
        {"nm", [](const Row &a, const Row &b) { return CompareRussian(a.nm, b.nm, false) < 0; }},
        {"sct", [](const Row &a, const Row &b) { return a.values[1] < b.values[1]; }},
    };
    std::printf("%d records, best of %d runs\n", kRecords, kRuns);
    bool allAgree = true;
    for (const Case &c : cases) {
        std::vector<Row> sorted;
        // The copy is not part of the sort: time it alone and take it off.
        const double copy = BestSeconds(kRuns, [&] { sorted = rows; });
        const double reference = BestSeconds(kRuns, [&] {
            sorted = rows;
            std::stable_sort(sorted.begin(), sorted.end(), c.less);
        });
        const double memTable = BestSeconds(kRuns, [&] {
            table.Sort(QStringLiteral(""));
            table.Sort(QString::fromLatin1(c.field));
        });
        std::vector<TVemtRecord *> order = table.Ordered();
        bool agree = order.size() == sorted.size();
        for (size_t i = 0; agree && i < order.size(); ++i)
            agree = order[i]->SlotIndex == sorted[i].slot;
        allAgree = allAgree && agree;
        const double stable = std::max(reference - copy, 1e-9);
        std::printf("sort by %-3s  memory table %.3f s  std::stable_sort %.3f s  ratio %.2f  orders %s\n", c.field,
                    memTable, stable, memTable / stable, agree ? "agree" : "DIFFER");
    }
    return allAgree ? 0 : 1;
}
