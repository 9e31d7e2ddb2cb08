#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "contract/TablesContract.h"
#include "data/DataPacket.h"
#include "data/PriceTable.h"
#include "data/ReferenceList.h"
#include "soap/SoapFault.h"
#include "support/TestService.h"
#include "text/Base64.h"

namespace tarvelo::test {
namespace {

using contract::kPriceTables;
using contract::kReferenceLists;

// "NAME type WIDTH" per column: one line a column, so a failure shows the column that differs.
std::vector<std::string> described(std::span<const contract::Column> columns) {
    std::vector<std::string> out;
    for (const auto& c : columns)
        out.push_back(std::string(c.name) + " " + std::string(c.type) + " " +
                      std::to_string(c.width));
    return out;
}

std::vector<std::string> described(const std::vector<FieldDef>& fields) {
    std::vector<std::string> out;
    for (const auto& f : fields)
        out.push_back(f.name + " " + f.typeName + " " + std::to_string(f.width));
    return out;
}

TEST(PriceTableContract, TheClientDeclaresEveryColumnTypeWidthAndKey) {
    ASSERT_EQ(priceTables().size(), std::size(kPriceTables));
    for (std::size_t i = 0; i < std::size(kPriceTables); ++i) {
        const auto& want = kPriceTables[i];
        const tarvelo::PriceTable& got = priceTables()[i];
        EXPECT_EQ(got.code, want.code);
        EXPECT_EQ(got.title, want.title);
        EXPECT_EQ(got.tableName, want.name);
        EXPECT_EQ(got.keyList(), want.keyList) << want.name;

        std::vector<std::string> columns;
        for (const auto& c : got.columns)
            columns.push_back(std::string(c.name) + " " + std::string(fieldTypeName(c.type)) + " " +
                              std::to_string(c.width));
        EXPECT_EQ(columns, described(want.columns)) << want.name;
    }
}

// What an import dataset is reset from: the Base64 text of the hidden control, decoded.
TEST(PriceTableContract, EmptyPacketsDescribeTheDeclaredFieldsAndHoldNoRows) {
    for (std::size_t i = 0; i < std::size(kPriceTables); ++i) {
        const auto& want = kPriceTables[i];
        const std::string text = base64Decode(priceTables()[i].emptyPacketBase64());
        EXPECT_TRUE(text.starts_with("  <?xml ")) << want.name;
        const DataPacket packet = DataPacket::parse(text);
        EXPECT_EQ(described(packet.fields), described(want.columns)) << want.name;
        EXPECT_FALSE(packet.delta) << want.name;
        EXPECT_TRUE(packet.rows.empty()) << want.name;
    }
}

// The answer of the service carries the field descriptions of its own columns, which the
// client's grids and import datasets must agree with.
TEST(PriceTableContract, TheServiceAnswersWithTheDeclaredFields) {
    TestService service;
    for (const auto& want : kPriceTables) {
        const DataPacket packet = DataPacket::parse(
            service.query("Select * From " + std::string(want.name) + " Where PERDID='000000'"));
        EXPECT_EQ(described(packet.fields), described(want.columns)) << want.name;
    }
}

// The service's tables as its SQLite file declares them: narrow text of n bytes as VARCHAR(n),
// wide text of n UTF-16 bytes as NVARCHAR(n/2), and the delta's key as the primary key.
TEST(PriceTableContract, TheServiceSchemaDeclaresTheWidthsAndTheKey) {
    TestService service;
    if (TestService::onPostgres()) {
        // PostgreSQL holds each width in the name of the column's check.
        for (const auto& want : kPriceTables) {
            const std::string table(want.name);
            std::string expected;
            for (const auto& c : want.columns)
                expected += (expected.empty() ? "" : ",") + std::string(c.name) +
                            (c.type == "string"       ? ".narrow." + std::to_string(c.width)
                             : c.type == "string.uni" ? ".wide." + std::to_string(c.width / 2)
                             : c.type == "i4"         ? std::string(".i4")
                                                      : std::string(".date"));
            EXPECT_EQ(service.scalar("select string_agg(c.conname, ',' order by a.attnum) from "
                                     "pg_constraint c join pg_attribute a on a.attrelid = "
                                     "c.conrelid and a.attnum = c.conkey[1] where c.conrelid = '" +
                                     table + "'::regclass and c.contype = 'c'"),
                      expected)
                << table;
            EXPECT_EQ(service.scalar("select string_agg(upper(a.attname), ',' order by "
                                     "array_position(i.indkey::int[], a.attnum::int)) from "
                                     "pg_index i join pg_attribute a on a.attrelid = i.indrelid "
                                     "and a.attnum = any(i.indkey) where i.indrelid = '" +
                                     table + "'::regclass and i.indisprimary"),
                      want.keyList)
                << table;
        }
        return;
    }
    for (const auto& want : kPriceTables) {
        const std::string table(want.name);
        std::string expected;
        for (const auto& c : want.columns) {
            const std::string declared =
                c.type == "string"       ? "VARCHAR(" + std::to_string(c.width) + ")"
                : c.type == "string.uni" ? "NVARCHAR(" + std::to_string(c.width / 2) + ")"
                : c.type == "i4"         ? "INTEGER"
                                         : "DATE";
            expected += (expected.empty() ? "" : ",") + std::string(c.name) + " " + declared;
        }
        EXPECT_EQ(service.scalar("select group_concat(name||' '||type, ',') from (select name, "
                                 "type from pragma_table_info('" +
                                 table + "') order by cid)"),
                  expected)
            << table;
        EXPECT_EQ(service.scalar("select group_concat(name, ',') from (select name from "
                                 "pragma_table_info('" +
                                 table + "') where pk > 0 order by pk)"),
                  want.keyList)
            << table;
    }
}

// Every text column takes a value of exactly its width and refuses a longer one: narrow text
// one code page 936 byte too long (a Chinese character is two bytes there, three in UTF-8),
// wide text one UTF-16 character too long.
TEST(PriceTableContract, TheServiceRefusesAValueOneByteWiderThanItsColumn) {
    TestService service;
    int serial = 0;
    for (const auto& table : kPriceTables) {
        for (const auto& column : table.columns) {
            if (!column.type.starts_with("string")) continue;
            // Two bytes a character either way; an odd narrow width ends in one ASCII letter.
            std::string fits;
            for (int k = 0; k < column.width / 2; ++k)
                fits += "钢";
            if (column.width % 2) fits += "a";

            // The key columns filled, the probed column with `value`.
            auto insert = [&](const std::string& value) {
                std::string names = "SERIAL", values = std::to_string(++serial);
                for (const auto& [name, given] :
                     {std::pair{"PERDID", "'202601'"}, std::pair{"PLACE", "'东城区'"},
                      std::pair{"ICEXT", "'钢材'"}}) {
                    if (std::string_view(table.keyList).find(name) == std::string_view::npos ||
                        column.name == name)
                        continue;
                    names += std::string(",") + name;
                    values += std::string(",") + given;
                }
                return "insert into " + std::string(table.name) + " (" + names + "," +
                       std::string(column.name) + ") values (" + values + ",'" + value + "')";
            };
            const std::string where = std::string(table.name) + "." + std::string(column.name);
            EXPECT_NO_THROW(service.execute(insert(fits))) << where;
            try {
                service.execute(insert(fits + "a"));
                ADD_FAILURE() << where << " took a value of " << column.width << " bytes and one";
            } catch (const SoapFault& f) {
                EXPECT_NE(f.faultString().find(std::string(column.name)), std::string::npos)
                    << where << ": " << f.faultString();
            }
        }
    }
}

// Both lists are read whole by their statements; each row's IDDESC is what a price row stores
// in PLACE or ICEXT, so the longest name the list holds must fit that column, and it comes back
// unchanged in ID order.
TEST(ReferenceListContract, StatementsReadIdAndNamesThatFitTheirPriceColumn) {
    const tarvelo::ReferenceList* code[] = {&tarvelo::ReferenceList::regions(),
                                            &tarvelo::ReferenceList::materialClasses()};
    TestService service;
    for (std::size_t i = 0; i < std::size(kReferenceLists); ++i) {
        const auto& want = kReferenceLists[i];
        EXPECT_EQ(code[i]->tableName, want.name);
        EXPECT_EQ(code[i]->statement, want.statement);
        EXPECT_EQ(code[i]->column, want.storedIn);

        std::string longest;
        for (int k = 0; k < want.storedWidth / 2; ++k)
            longest += "区";
        service.execute("insert into " + std::string(want.name) + " values ('02','" + longest +
                        "')");
        service.execute("insert into " + std::string(want.name) + " values ('01','东城')");
        const DataPacket packet = DataPacket::parse(service.query(want.statement));
        ASSERT_EQ(packet.fields.size(), 2u) << want.name;
        EXPECT_EQ(packet.fields[0].name, "ID");
        EXPECT_EQ(packet.fields[1].name, "IDDESC");
        EXPECT_EQ(packet.fields[1].typeName, "string") << want.name;
        EXPECT_GT(packet.fields[1].width, 0) << want.name;
        EXPECT_LE(packet.fields[1].width, want.storedWidth) << want.name;
        ASSERT_EQ(packet.rows.size(), 2u) << want.name;
        EXPECT_EQ(packet.rows[0].value(0), "01");
        EXPECT_EQ(packet.rows[1].value(1), longest) << want.name;
    }
}

}  // namespace
}  // namespace tarvelo::test
