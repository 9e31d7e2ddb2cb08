// Loads a large information-price packet into a dataset, reads every value as text and writes
// the packet back; compares with a bare XML parse of the same text that walks every attribute.
//
//   packet_bench [--rows N] [--repeat N] [--no-goals]
//
// Goals (checked unless --no-goals; exit status 1 when one is missed): loading runs at no less
// than half the bare parse's throughput, writing is at least as fast as loading, and the loaded
// dataset holds no more than 2.5 times the packet text's size in memory.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <functional>
#include <optional>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "data/DataSet.h"
#include "data/PacketWriter.h"
#include "data/PriceTable.h"

using namespace tarvelo;

namespace {

std::string makePacket(std::size_t rows) {
    static const char* const places[] = {"杭州市", "宁波市", "温州市", "嘉兴市", "湖州市", "绍兴市",
                                         "金华市", "衢州市", "舟山市", "台州市", "丽水市"};
    static const char* const items[] = {
        "热轧带肋钢筋", "普通硅酸盐水泥", "商品混凝土",         "中砂",     "碎石",
        "镀锌钢管",     "聚氯乙烯排水管", "蒸压加气混凝土砌块", "铝合金窗", "防水卷材"};
    static const char* const brands[] = {"沙钢", "海螺", "中联", "永高", "东方雨虹", "华新"};
    static const char* const units[] = {"吨", "立方米", "米", "块", "平方米"};
    const auto fields = priceTable(Category::XXJ).fieldDefs();
    PacketWriter writer(fields, false, rows * 420);
    std::vector<std::string> v(fields.size());
    std::vector<std::optional<std::string_view>> views(fields.size());
    for (std::size_t i = 0; i < rows; ++i) {
        v[0] = "202612";
        v[1] = places[i % 11];
        v[2] = std::to_string(i % 9000 + 1);
        v[3] = std::string(items[i % 10]) + " " + std::to_string(i % 97) + "号 一级品";
        v[4] = "0" + std::to_string(1010010000 + i);
        v[5] = "ZJ330100-" + std::to_string(100000 + i % 50000);
        v[6] = "Φ" + std::to_string(6 + i % 30) + "mm 国标GB/T 1499.2-2018 抗震 直条 长度" +
               std::to_string(6 + i % 6) + "米 \"甲供\" 表面无锈蚀，执行标准见附件";
        v[7] = "HRB400E-" + std::to_string(i % 40);
        v[8] = brands[i % 6];
        v[9] = i % 3 ? "Q235B" : "碳素结构钢";
        v[10] = units[i % 5];
        v[11] = std::to_string(3000 + i % 2000) + "." + std::to_string(i % 100);
        v[12] = std::to_string(2800 + i % 1900) + ".00";
        v[13] = i % 4 ? "含税到工地价" : "不含运费";
        v[14] = "20261201";
        for (std::size_t c = 0; c < v.size(); ++c)
            views[c] = v[c];
        if (i % 7 == 3) views[13] = std::nullopt;  // some nulls, as real answers have
        writer.row(Row::fromValues(views));
    }
    return writer.finish();
}

double bestSeconds(int repeat, const std::function<void()>& run) {
    double best = 1e30;
    for (int i = 0; i < repeat; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run();
        const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
    }
    return best;
}

// Resident set size and its high-water mark in bytes (VmRSS, VmHWM); writing "5" to clear_refs
// resets the mark, so the peak of one step can be read.
std::size_t statusBytes(const char* key) {
    FILE* f = std::fopen("/proc/self/status", "r");
    if (!f) return 0;
    char line[256];
    std::size_t kb = 0;
    while (std::fgets(line, sizeof line, f))
        if (!std::strncmp(line, key, std::strlen(key)))
            kb = std::strtoul(line + std::strlen(key), nullptr, 10);
    std::fclose(f);
    return kb * 1024;
}

void resetPeak() {
    if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
        std::fputs("5", f);
        std::fclose(f);
    }
}

std::size_t heapInUse() {
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t rows = 100000;
    int repeat = 5;
    bool goals = true;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--rows") && i + 1 < argc)
            rows = std::stoul(argv[++i]);
        else if (!std::strcmp(argv[i], "--repeat") && i + 1 < argc)
            repeat = std::stoi(argv[++i]);
        else if (!std::strcmp(argv[i], "--no-goals"))
            goals = false;
        else {
            std::fprintf(stderr, "usage: %s [--rows N] [--repeat N] [--no-goals]\n", argv[0]);
            return 2;
        }
    }

    const std::string text = makePacket(rows);
    const double mb = static_cast<double>(text.size()) / 1e6;
    std::printf("packet: %zu rows, 15 columns, %.1f MB\n", rows, mb);

    std::size_t sink = 0;
    const double bare = bestSeconds(repeat, [&] {
        pugi::xml_document doc;
        doc.load_buffer(text.data(), text.size(), pugi::parse_default, pugi::encoding_utf8);
        for (auto r : doc.child("DATAPACKET").child("ROWDATA").children())
            for (auto a : r.attributes())
                sink += std::strlen(a.value()) + std::strlen(a.name());
    });

    malloc_trim(0);
    resetPeak();
    const std::size_t rssBefore = statusBytes("VmRSS:");
    const std::size_t heapBefore = heapInUse();
    DataSet ds;
    ds.loadPacket(text);
    const std::size_t datasetBytes = heapInUse() - heapBefore;
    const std::size_t loadPeak = statusBytes("VmHWM:") - rssBefore;
    const double load = bestSeconds(repeat, [&] { ds.loadPacket(text); });

    const double read = bestSeconds(repeat, [&] {
        for (ds.first(); !ds.eof(); ds.next())
            for (std::size_t c = 0; c < ds.fieldCount(); ++c)
                sink += ds.text(c).size();
    });

    std::string written;
    const double write = bestSeconds(repeat, [&] { written = ds.packetText(); });
    if (written != text) {
        std::fprintf(stderr, "the written packet differs from the loaded one\n");
        return 1;
    }

    auto line = [&](const char* what, double seconds) {
        std::printf("%-26s %8.1f ms %12.0f rows/s %8.1f MB/s\n", what, seconds * 1e3,
                    static_cast<double>(rows) / seconds, mb / seconds);
    };
    line("bare XML parse + walk", bare);
    line("load into dataset", load);
    line("read every value as text", read);
    line("write packet text", write);
    const double memoryRatio = static_cast<double>(datasetBytes) / static_cast<double>(text.size());
    std::printf("dataset memory: %.1f MB (%.2f x the packet text)\n",
                static_cast<double>(datasetBytes) / 1e6, memoryRatio);
    std::printf("peak during the load, parser's document tree included: %.1f MB (%.2f x)\n",
                static_cast<double>(loadPeak) / 1e6,
                static_cast<double>(loadPeak) / static_cast<double>(text.size()));
    std::printf("load / bare parse throughput: %.2f; write / load throughput: %.2f\n", bare / load,
                load / write);
    if (sink == 42) std::puts("");  // keeps the reads from being optimised away

    if (!goals) return 0;
    bool met = true;
    auto goal = [&](bool ok, const char* what) {
        std::printf("%s %s\n", ok ? "goal met:   " : "GOAL MISSED:", what);
        met = met && ok;
    };
    goal(load <= 2 * bare, "load at no less than half the bare parse's throughput");
    goal(write <= load, "write at least as fast as load");
    goal(memoryRatio <= 2.5, "loaded dataset at most 2.5 times the packet text");
    return met ? 0 : 1;
}
