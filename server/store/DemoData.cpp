#include "server/store/DemoData.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <vector>

#include "server/store/DbError.h"
#include "server/store/Schema.h"
#include "server/store/ServiceConnection.h"
#include "server/store/Store.h"
#include "text/Base64.h"
#include "text/Error.h"
#include "text/NumberText.h"

namespace tarvelo::server {

const DemoData::Account DemoData::kAccounts[4] = {
    {"admin", "系统管理员", "admin123", "11", false},
    {"editor", "李数据", "editor123", "10", false},
    {"viewer", "王浏览", "viewer123", "00", false},
    {"system", "系统账号", "system123", "11", true},
};

namespace {

constexpr const char* kRegions[] = {
    "中心城区", "东城区", "西城区", "南湖区", "北山区", "高新区", "经开区", "滨江区",
    "临港新区", "青山县", "白沙县", "石门县", "龙泉市", "金水市", "凤凰县", "云岭县",
    "松林县",   "清河县", "桃源县", "梅山县", "平安县", "长宁县", "永和县", "安远县",
};

constexpr const char* kClasses[] = {
    "钢材",       "水泥及砂石", "商品混凝土", "木材及板材",
    "玻璃及门窗", "管材管件",   "电线电缆",   "防水材料",
};

struct Material {
    const char* name;
    const char* code;
    const char* unit;
    double price;
    int cls;  // index into kClasses
    const char* grade;
    std::vector<const char*> variants;
};

const std::vector<Material>& materials() {
    static const std::vector<Material> m = {
        {"热轧带肋钢筋",
         "0101",
         "吨",
         4050,
         0,
         "HRB400E",
         {"Φ8", "Φ10", "Φ12", "Φ14", "Φ16", "Φ18", "Φ20", "Φ22", "Φ25", "Φ28"}},
        {"热轧光圆钢筋", "0102", "吨", 4180, 0, "HPB300", {"Φ6", "Φ8", "Φ10", "Φ12"}},
        {"高速线材", "0103", "吨", 4120, 0, "Q235", {"Φ6.5", "Φ8"}},
        {"热轧工字钢", "0104", "吨", 4350, 0, "Q235B", {"I10", "I14", "I16", "I20a", "I25a"}},
        {"镀锌钢板", "0105", "吨", 5200, 0, "DX51D", {"δ0.5", "δ0.8", "δ1.0", "δ1.5"}},
        {"普通硅酸盐水泥",
         "0201",
         "吨",
         460,
         1,
         "",
         {"P.O 42.5 袋装", "P.O 42.5 散装", "P.O 52.5 散装"}},
        {"复合硅酸盐水泥", "0202", "吨", 410, 1, "", {"P.C 32.5 袋装", "P.C 32.5 散装"}},
        {"中砂", "0203", "立方米", 155, 1, "", {"河砂", "机制砂"}},
        {"碎石", "0204", "立方米", 125, 1, "", {"5-20mm", "5-31.5mm", "20-40mm"}},
        {"商品混凝土",
         "0301",
         "立方米",
         410,
         2,
         "",
         {"C15", "C20", "C25", "C30", "C35", "C40", "C45", "C50"}},
        {"水下商品混凝土", "0302", "立方米", 450, 2, "", {"C25", "C30", "C35"}},
        {"预拌砂浆", "0303", "立方米", 380, 2, "", {"M5", "M7.5", "M10", "M15"}},
        {"杉木板材", "0401", "立方米", 2350, 3, "杉木", {"厚25mm", "厚30mm"}},
        {"松木方", "0402", "立方米", 1980, 3, "松木", {"40×60", "50×100", "60×80"}},
        {"胶合板", "0403", "张", 92, 3, "", {"1220×2440×12", "1220×2440×15", "1220×2440×18"}},
        {"平板玻璃", "0501", "平方米", 38, 4, "", {"5mm", "6mm", "8mm", "10mm"}},
        {"中空玻璃", "0502", "平方米", 135, 4, "", {"5+9A+5", "6+12A+6"}},
        {"铝合金型材", "0503", "吨", 21800, 4, "6063-T5", {"断桥隔热", "普通"}},
        {"镀锌钢管",
         "0601",
         "米",
         28,
         5,
         "Q235",
         {"DN15", "DN20", "DN25", "DN32", "DN40", "DN50", "DN80", "DN100"}},
        {"PPR给水管", "0602", "米", 9, 5, "PPR", {"dn20", "dn25", "dn32", "dn40", "dn50", "dn63"}},
        {"PVC-U排水管", "0603", "米", 16, 5, "PVC-U", {"dn50", "dn75", "dn110", "dn160"}},
        {"铜芯电力电缆",
         "0701",
         "米",
         96,
         6,
         "铜",
         {"YJV-3×25+1×16", "YJV-3×35+1×16", "YJV-4×50+1×25", "YJV-4×95+1×50"}},
        {"聚氯乙烯绝缘电线",
         "0702",
         "米",
         3.2,
         6,
         "铜",
         {"BV-1.5", "BV-2.5", "BV-4", "BV-6", "BV-10"}},
        {"SBS改性沥青防水卷材", "0801", "平方米", 32, 7, "", {"3mm I型", "3mm II型", "4mm II型"}},
        {"聚氨酯防水涂料", "0802", "千克", 18, 7, "", {"单组分", "双组分"}},
        {"沥青混凝土", "0901", "吨", 520, 2, "", {"AC-13", "AC-20", "AC-25"}},
        {"烧结多孔砖", "0902", "千块", 560, 1, "", {"240×115×90"}},
        {"蒸压加气混凝土砌块", "0903", "立方米", 285, 1, "", {"600×200×200", "600×240×200"}},
        {"外墙乳胶漆", "1001", "千克", 26, 7, "", {"弹性", "普通"}},
        {"0#柴油", "1101", "升", 7.6, 0, "", {"国VI"}},
    };
    return m;
}

struct Plant {
    const char* name;
    const char* code;
    const char* unit;
    double price;
    std::vector<const char*> variants;
};

const std::vector<Plant>& plants() {
    static const std::vector<Plant> p = {
        {"香樟", "M01", "株", 850, {"胸径8cm", "胸径10cm", "胸径12cm", "胸径15cm", "胸径20cm"}},
        {"桂花", "M02", "株", 620, {"冠幅150cm", "冠幅200cm", "冠幅250cm"}},
        {"银杏", "M03", "株", 1200, {"胸径10cm", "胸径15cm", "胸径20cm"}},
        {"广玉兰", "M04", "株", 780, {"胸径10cm", "胸径12cm"}},
        {"红叶石楠球", "M05", "株", 160, {"冠幅100cm", "冠幅120cm", "冠幅150cm"}},
        {"紫薇", "M06", "株", 300, {"地径6cm", "地径8cm", "地径10cm"}},
        {"樱花", "M07", "株", 420, {"胸径6cm", "胸径8cm"}},
        {"海桐球", "M08", "株", 120, {"冠幅100cm", "冠幅120cm"}},
        {"金叶女贞", "M09", "平方米", 45, {"高40cm 36株/m2"}},
        {"红花檵木", "M10", "平方米", 52, {"高40cm 25株/m2"}},
        {"麦冬", "M11", "平方米", 18, {"满铺"}},
        {"马尼拉草皮", "M12", "平方米", 12, {"满铺"}},
        {"垂柳", "M13", "株", 380, {"胸径8cm", "胸径10cm"}},
        {"栾树", "M14", "株", 560, {"胸径10cm", "胸径12cm"}},
        {"榉树", "M15", "株", 980, {"胸径12cm", "胸径15cm"}},
        {"杜鹃", "M16", "株", 8, {"冠幅30cm", "冠幅40cm"}},
        {"小叶黄杨", "M17", "株", 6, {"高30cm"}},
        {"月季", "M18", "株", 5, {"三年生"}},
    };
    return p;
}

constexpr const char* kVendors[] = {
    "鑫达建材有限公司", "华建物资贸易公司", "远通管业有限公司", "福盛商贸有限公司",
    "金城钢铁贸易公司", "东岳建材经营部",   "青山苗圃",         "绿源园林工程公司",
    "四季花木场",       "长青园艺有限公司",
};
constexpr const char* kPeople[] = {"张建国", "李红梅", "王志强", "陈晓东",
                                   "刘芳",   "赵磊",   "周丽华", "吴斌"};
constexpr const char* kBrands[] = {"鑫达", "华建", "远通", "福盛", "金城", "东岳", "建丰", "永固"};

std::string priceText(double v) {
    return fixedText(v, v >= 100 ? 0 : 2);
}

Date monthBefore(const Date& d, int months) {
    int m = d.year * 12 + (d.month - 1) - months;
    return Date{m / 12, m % 12 + 1, 1};
}

// Inserts rows into one table, many rows to a statement (a round trip per row would be most of
// the time on a database server); values are text or null, SERIAL is bound as an integer.
// finish() sends what is left.
class Inserter {
public:
    static constexpr std::size_t kBatch = 64;

    Inserter(ServiceConnection& c, std::string table, std::vector<std::string> columns)
        : m_c(c), m_table(std::move(table)), m_columns(std::move(columns)) {}

    void row(const std::vector<std::optional<std::string>>& values) {
        m_rows.push_back(values);
        if (m_rows.size() == kBatch) finish();
    }

    void finish() {
        if (m_rows.empty()) return;
        const bool full = m_rows.size() == kBatch;
        if (!full || !m_full) (full ? m_full : m_rest) = m_c.prepare(statement(m_rows.size()));
        auto& stmt = full ? m_full : m_rest;
        int at = 0;
        for (const auto& values : m_rows)
            for (std::size_t i = 0; i < values.size(); ++i) {
                ++at;
                if (!values[i])
                    stmt->bindNull(at);
                else if (m_columns[i] == "SERIAL")
                    stmt->bind(at, static_cast<std::int64_t>(std::stoll(*values[i])));
                else
                    stmt->bind(at, std::string_view(*values[i]));
            }
        stmt->run();
        stmt->reset();
        m_rows.clear();
    }

private:
    std::string statement(std::size_t rows) const {
        std::string cols, marks;
        for (std::size_t i = 0; i < m_columns.size(); ++i) {
            cols += (i ? "," : "") + m_columns[i];
            marks += i ? ",?" : "(?";
        }
        marks += ")";
        std::string sql = "INSERT INTO " + m_table + " (" + cols + ") VALUES " + marks;
        for (std::size_t r = 1; r < rows; ++r)
            sql += "," + marks;
        return sql;
    }

    ServiceConnection& m_c;
    std::string m_table;
    std::vector<std::string> m_columns;
    std::vector<std::vector<std::optional<std::string>>> m_rows;
    std::unique_ptr<DbStatement> m_full, m_rest;
};

using Opt = std::optional<std::string>;

// The reference lists: `regions` numbered from "01", and the material classes.
void references(ServiceConnection& c, const std::vector<std::string>& regions) {
    Inserter region(c, "KVR_REGION", {"ID", "IDDESC"});
    for (std::size_t i = 0; i < regions.size(); ++i) {
        std::string id = std::to_string(i + 1);
        if (id.size() < 2) id.insert(id.begin(), '0');
        region.row({id, regions[i]});
    }
    region.finish();
    Inserter cls(c, "KVR_ICEXT", {"ID", "IDDESC"});
    for (std::size_t i = 0; i < std::size(kClasses); ++i) {
        char id[8];
        std::snprintf(id, sizeof id, "%02zu", i + 1);
        cls.row({id, kClasses[i]});
    }
    cls.finish();
}

void requireEmpty(ServiceConnection& c, const std::string& path) {
    for (const char* t : {"KVR_XXJ", "KVR_CJJ", "KVR_MMJ", "KVR_CSJ", "KVR_REGION", "KVR_ICEXT"}) {
        if (c.prepare(std::string("SELECT 1 FROM ") + t + " LIMIT 1")->step())
            throw Error("数据库“" + path + "”中已有数据（表 " + t + "），演示数据只装入空数据库。");
    }
}

void accounts(const std::string& path) {
    for (const auto& a : DemoData::kAccounts)
        DemoData::addUser(path, a.id, a.name, a.password, a.roles, a.system);
}

// One region-month (or class-month) of material rows: each material with each of its variants.
struct PriceRow {
    const Material* m;
    const char* variant;
    std::string price;
    std::string brand;
};

std::vector<PriceRow> monthOfMaterials(std::mt19937& rng, double factor, int cls = -1) {
    std::uniform_real_distribution<double> jitter(0.97, 1.03);
    std::uniform_int_distribution<int> pick(0, 99);
    std::vector<PriceRow> rows;
    for (const auto& m : materials()) {
        if (cls >= 0 && m.cls != cls) continue;
        double step = 0;
        for (const char* variant : m.variants) {
            const double v = m.price * (1 + step) * factor * jitter(rng);
            step += 0.015;
            rows.push_back({&m, variant, pick(rng) < 2 ? std::string("面议") : priceText(v),
                            kBrands[static_cast<std::size_t>(pick(rng)) % std::size(kBrands)]});
        }
    }
    return rows;
}

std::string rq(const Date& month) {
    return Date{month.year, month.month, 5}.shortText();
}

}  // namespace

void DemoData::load(const std::string& path, const Date& today) {
    {
        Store store(path);
        auto lease = store.acquire();
        ServiceConnection& c = *lease;
        requireEmpty(c, store.path());
        std::mt19937 rng(20261210);
        std::uniform_int_distribution<int> pick(0, 9999);
        c.begin();
        references(c, std::vector<std::string>(std::begin(kRegions), std::end(kRegions)));
        Inserter xxj(c, "KVR_XXJ",
                     {"PERDID", "PLACE", "SERIAL", "ITEMDESC", "ITEMID", "ZJID", "SPECID", "MODEL",
                      "BRAND", "MATERIAL", "UNIT", "XXJ", "DEJ", "NOTE", "RQ"});
        Inserter cjj(c, "KVR_CJJ",
                     {"PERDID", "SERIAL", "PLACE", "ITEMDESC", "ITEMID", "SPECID", "MODEL", "BRAND",
                      "MATERIAL", "UNIT", "CJJ", "CJRQ", "RQ", "NOTE"});
        Inserter mmj(c, "KVR_MMJ",
                     {"PERDID", "PLACE", "SERIAL", "ITEMDESC", "ITEMID", "SPECID", "MODEL", "BRAND",
                      "UNIT", "MMJ", "VEND", "LINKMAN", "LINKTEL", "NOTE", "RQ"});
        Inserter csj(c, "KVR_CSJ",
                     {"PERDID", "ICEXT", "SERIAL", "ITEMDESC", "ITEMID", "SPECID", "MODEL", "BRAND",
                      "MATERIAL", "UNIT", "CSJ", "VEND", "LINKMAN", "LINKTEL", "NOTE", "RQ"});
        const auto tel = [&] { return "13" + std::to_string(800000000 + pick(rng) * 10007); };
        for (int back = 11; back >= 0; --back) {
            const Date month = monthBefore(today, back);
            const std::string period = month.period();
            const double trend = 1 + 0.012 * (11 - back) + 0.01 * std::sin(back);
            for (std::size_t r = 0; r < std::size(kRegions); ++r) {
                const double factor = trend * (0.95 + 0.005 * static_cast<double>(r));
                int serial = 0;
                for (const auto& p : monthOfMaterials(rng, factor)) {
                    const bool quota = pick(rng) < 7000;
                    xxj.row({period, kRegions[r], std::to_string(++serial), p.m->name,
                             std::string(p.m->code) + std::to_string(serial % 100),
                             "ZJ" + std::string(p.m->code), p.variant, Opt(), p.brand,
                             *p.m->grade ? Opt(p.m->grade) : Opt(), p.m->unit, p.price,
                             quota ? Opt(p.price == "面议"
                                             ? "面议"
                                             : priceText(decimalValue(p.price).value_or(0) * 0.92))
                                   : Opt(),
                             serial % 17 == 0 ? Opt("含税价") : Opt(), rq(month)});
                }
                serial = 0;
                for (const auto& plant : plants()) {
                    for (const char* variant : plant.variants) {
                        const double v = plant.price * factor * (0.9 + pick(rng) / 50000.0);
                        const std::size_t vend = 6 + static_cast<std::size_t>(pick(rng)) % 4;
                        mmj.row({period, kRegions[r], std::to_string(++serial), plant.name,
                                 plant.code, variant, Opt(), Opt(), plant.unit,
                                 pick(rng) < 300 ? "面议" : priceText(v), kVendors[vend],
                                 kPeople[static_cast<std::size_t>(pick(rng)) % std::size(kPeople)],
                                 tel(), Opt(), rq(month)});
                    }
                }
            }
            // Deal prices: one run of SERIAL over every region of the month.
            int serial = 0;
            for (int k = 0; k < 300; ++k) {
                const auto& m =
                    materials()[static_cast<std::size_t>(pick(rng)) % materials().size()];
                const char* variant =
                    m.variants[static_cast<std::size_t>(pick(rng)) % m.variants.size()];
                const char* place =
                    kRegions[static_cast<std::size_t>(pick(rng)) % std::size(kRegions)];
                const int day = 1 + pick(rng) % 28;
                cjj.row({period, std::to_string(++serial), place, m.name, m.code, variant, Opt(),
                         kBrands[static_cast<std::size_t>(pick(rng)) % std::size(kBrands)],
                         *m.grade ? Opt(m.grade) : Opt(), m.unit,
                         priceText(m.price * trend * (0.92 + pick(rng) / 80000.0)),
                         Date{month.year, month.month, day}.shortText(), rq(month), Opt()});
            }
            for (std::size_t cls = 0; cls < std::size(kClasses); ++cls) {
                serial = 0;
                for (const auto& p : monthOfMaterials(rng, trend, static_cast<int>(cls))) {
                    for (int v = 0; v < 2; ++v) {
                        const std::size_t vend = static_cast<std::size_t>(pick(rng)) % 6;
                        csj.row({period, kClasses[cls], std::to_string(++serial), p.m->name,
                                 p.m->code, p.variant, Opt(), kBrands[vend],
                                 *p.m->grade ? Opt(p.m->grade) : Opt(), p.m->unit, p.price,
                                 kVendors[vend], kPeople[vend], tel(),
                                 v == 1 ? Opt("批量另议") : Opt(), rq(month)});
                    }
                }
            }
        }
        for (Inserter* i : {&xxj, &cjj, &mmj, &csj})
            i->finish();
        c.commit();
    }
    accounts(path);
}

std::string DemoData::Volume::name() const {
    return std::to_string(infoRows) + "-" + std::to_string(months) + "x" + std::to_string(regions);
}

std::string DemoData::volumeRegion(int index) {
    if (index < static_cast<int>(std::size(kRegions)))
        return kRegions[static_cast<std::size_t>(index)];
    // Town names, which none of the demonstration's districts, counties and cities shares.
    static constexpr const char* first[] = {"东", "西", "南", "北", "上", "下", "大", "小",
                                            "新", "老", "高", "长", "永", "安", "太", "华"};
    static constexpr const char* second[] = {"阳", "桥", "湾", "港", "口", "坪", "岗", "塘",
                                             "湖", "庄", "堡", "集", "店", "营", "铺", "坝"};
    const auto i = static_cast<std::size_t>(index) - std::size(kRegions);
    if (i >= std::size(first) * std::size(second))
        throw Error("基准测试的地区最多 " +
                    std::to_string(std::size(kRegions) + std::size(first) * std::size(second)) +
                    " 个。");
    std::string name = first[i / std::size(second)];
    name += second[i % std::size(second)];
    name += "镇";
    return name;
}

void DemoData::loadVolume(const std::string& path, const Date& today, const Volume& volume) {
    if (volume.months < 1 || volume.regions < 1) throw Error("基准测试的月数和地区数至少为 1。");
    // The regions in the order the tables' keys sort them (bytes of UTF-8).
    std::vector<std::string> regions;
    for (int r = 0; r < volume.regions; ++r)
        regions.push_back(volumeRegion(r));
    std::vector<std::string> sorted = regions;
    std::sort(sorted.begin(), sorted.end());
    {
        Store store(path);
        auto lease = store.acquire();
        ServiceConnection& c = *lease;
        requireEmpty(c, store.path());
        std::mt19937 rng(7);
        c.begin();
        references(c, regions);
        c.commit();
        Inserter xxj(c, "KVR_XXJ",
                     {"PERDID", "PLACE", "SERIAL", "ITEMDESC", "ITEMID", "SPECID", "BRAND",
                      "MATERIAL", "UNIT", "XXJ", "RQ"});
        Inserter cjj(c, "KVR_CJJ",
                     {"PERDID", "SERIAL", "PLACE", "ITEMDESC", "ITEMID", "SPECID", "UNIT", "CJJ",
                      "CJRQ", "RQ"});
        const long units = static_cast<long>(volume.months) * volume.regions;
        const long dealRows = volume.dealRows();
        std::vector<PriceRow> rows;
        const auto next = [&] {
            if (rows.empty()) rows = monthOfMaterials(rng, 1.0);
            PriceRow p = std::move(rows.back());
            rows.pop_back();
            return p;
        };
        // Oldest month first, a month to a transaction: the log of one transaction stays small
        // however many months there are.
        for (int back = volume.months - 1; back >= 0; --back) {
            const Date month = monthBefore(today, back);
            const std::string period = month.period();
            const std::string entered = rq(month);
            const long m = volume.months - 1 - back;
            c.begin();
            for (int r = 0; r < volume.regions; ++r) {
                const long u = m * volume.regions + r;
                const long n = volume.infoRows / units + (u < volume.infoRows % units ? 1 : 0);
                for (long s = 0; s < n; ++s) {
                    const PriceRow p = next();
                    xxj.row({period, sorted[static_cast<std::size_t>(r)], std::to_string(s + 1),
                             p.m->name, p.m->code, p.variant, p.brand,
                             *p.m->grade ? Opt(p.m->grade) : Opt(), p.m->unit, p.price, entered});
                }
            }
            xxj.finish();
            const long n = dealRows / volume.months + (m < dealRows % volume.months ? 1 : 0);
            for (long s = 0; s < n; ++s) {
                const PriceRow p = next();
                cjj.row({period, std::to_string(s + 1),
                         regions[static_cast<std::size_t>(s % volume.regions)], p.m->name,
                         p.m->code, p.variant, p.m->unit, p.price,
                         Date{month.year, month.month, 1 + static_cast<int>(s % 28)}.shortText(),
                         entered});
            }
            cjj.finish();
            c.commit();
        }
    }
    accounts(path);
}

void DemoData::addUser(const std::string& path, const std::string& id, const std::string& name,
                       const std::string& password, const std::string& roles, bool system) {
    if (id.empty()) throw Error("账号不能为空。");
    if (roles.size() != 2 || (roles[0] != '0' && roles[0] != '1') ||
        (roles[1] != '0' && roles[1] != '1'))
        throw Error("角色应为两位 0/1，例如 11、10、00。", "收到：" + roles);
    Store store(path);
    auto lease = store.acquire();
    {
        const auto q = lease->prepare("SELECT 1 FROM KVR_USERH WHERE USERID=?1");
        q->bind(1, std::string_view(id));
        if (q->step()) throw Error("账号“" + id + "”已经存在。");
    }
    const auto insert = lease->prepare(
        "INSERT INTO KVR_USERH (USERID,USERNAME,PASSWORD,PWBZ,SYSBZ,DATABZ,"
        "TEL,QQ,EMAIL,VERIFY) VALUES (?1,?2,?3,'0',?4,?5,'','',?6,'')");
    insert->bind(1, std::string_view(id));
    insert->bind(2, std::string_view(name));
    insert->bind(3, std::string_view(store.transformPassword(base64Encode(password))));
    insert->bind(4, std::string_view(system ? "1" : "0"));
    insert->bind(5, std::string_view(roles));
    insert->bind(6, std::string_view(id + "@example.com"));
    try {
        insert->run();
    } catch (const DbError& e) {
        const auto told = Schema::describeViolation(e.violation());
        throw Error("无法添加账号“" + id + "”。" + told.value_or(""), e.detail());
    }
}

}  // namespace tarvelo::server
