// Cost of an item's property change reaching the views of a qolm::QOlm: the model finds the
// sender's row before it can emit dataChanged. Measured for a list of 100 and of 10k items, with
// the same change on items that are in no model as the baseline (the notify signal alone).

#include "QOlm.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

class BenchItem : public QObject
{
    Q_OBJECT
    Q_PROPERTY(int value READ value WRITE setValue NOTIFY valueChanged)
public:
    int value() const { return m_value; }
    void setValue(int value)
    {
        if (value == m_value)
            return;
        m_value = value;
        Q_EMIT valueChanged();
    }
Q_SIGNALS:
    void valueChanged();

private:
    int m_value = 0;
};

namespace {

struct Listed
{
    QObject holder;
    qolm::QOlm<BenchItem> model;
    std::vector<BenchItem *> items;
    qint64 changes = 0;

    Listed(int count, bool inModel)
    {
        QList<BenchItem *> list;
        for (int i = 0; i < count; ++i) {
            auto *item = new BenchItem;
            item->setParent(&holder);
            items.push_back(item);
            list.append(item);
            if (!inModel)
                QObject::connect(item, &BenchItem::valueChanged, &holder, [this] { ++changes; });
        }
        if (inModel) {
            model.append(list);
            // A view-like listener, so dataChanged is really delivered somewhere.
            QObject::connect(&model, &QAbstractItemModel::dataChanged, &holder,
                             [this] { ++changes; });
        }
    }
};

// One property change per iteration, walking all rows in turn (so the row lookup averages over
// the whole list, as updates from a device would).
void changeEach(benchmark::State &state, bool inModel)
{
    Listed listed(int(state.range(0)), inModel);
    const size_t n = listed.items.size();
    size_t next = 0;
    int value = 1;
    for (auto _ : state) {
        listed.items[next]->setValue(value);
        if (++next == n) {
            next = 0;
            ++value;
        }
    }
    if (listed.changes != qint64(state.iterations()))
        state.SkipWithError("a change was not delivered");
    state.SetItemsProcessed(state.iterations());
}

void BM_NotifyOnly(benchmark::State &state)
{
    changeEach(state, false);
}
void BM_ModelChange(benchmark::State &state)
{
    changeEach(state, true);
}
BENCHMARK(BM_NotifyOnly)->Arg(100)->Arg(10000);
BENCHMARK(BM_ModelChange)->Arg(100)->Arg(10000);

// Filling a model one append at a time and then changing every item once: the whole job a list
// of n items costs, per item.
void BM_FillThenChangeAll(benchmark::State &state)
{
    const int n = int(state.range(0));
    for (auto _ : state) {
        qolm::QOlm<BenchItem> model;
        for (int i = 0; i < n; ++i)
            model.append(new BenchItem);
        for (BenchItem *item : model.toList())
            item->setValue(1);
    }
    state.SetItemsProcessed(state.iterations() * n);
}
BENCHMARK(BM_FillThenChangeAll)->Arg(100)->Arg(10000)->Unit(benchmark::kMicrosecond);

// Keeps the time per item of every run so the ratios can be printed after the table.
class RatioReporter : public benchmark::ConsoleReporter
{
public:
    void ReportRuns(const std::vector<Run> &runs) override
    {
        for (const Run &run : runs) {
            const double items = run.counters.count("items_per_second")
                ? double(run.counters.at("items_per_second"))
                : 0.0;
            if (items > 0)
                nsPerItem[run.benchmark_name()] = 1e9 / items;
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> nsPerItem;
};

void printRatio(const RatioReporter &r, const char *what, const std::string &a,
                const std::string &b)
{
    const auto ia = r.nsPerItem.find(a);
    const auto ib = r.nsPerItem.find(b);
    if (ia == r.nsPerItem.end() || ib == r.nsPerItem.end())
        return;
    std::printf("%-52s %9.1f ns / %9.1f ns = %7.1fx\n", what, ia->second, ib->second,
                ia->second / ib->second);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    std::printf("\nTime per item (ratio):\n");
    printRatio(reporter, "change, 10k model vs notify signal alone", "BM_ModelChange/10000",
               "BM_NotifyOnly/10000");
    printRatio(reporter, "change, 100 model vs notify signal alone", "BM_ModelChange/100",
               "BM_NotifyOnly/100");
    printRatio(reporter, "change, 10k model vs 100 model", "BM_ModelChange/10000",
               "BM_ModelChange/100");
    printRatio(reporter, "fill + change all, 10k vs 100 (per item)", "BM_FillThenChangeAll/10000",
               "BM_FillThenChangeAll/100");
    benchmark::Shutdown();
    return 0;
}

#include "bench_qolm.moc"
