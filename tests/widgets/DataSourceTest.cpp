#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

#include "data/DataSet.h"
#include "support/Packets.h"
#include "widgets/DBGrid.h"
#include "widgets/DataSource.h"

namespace tarvelo::test {
namespace {

// The model follows every change of its dataset, under Qt's own checks of the model protocol;
// a column whose field the rows lack stays empty.
TEST(DataSource, FollowsItsDatasetUnderTheModelTester) {
    DataSet ds;
    TDataSource model(ds);
    model.setColumns({{"NAME", "名称", 80}, {"MISSING", "无", 0}, {"ID", "编号", 0}});
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    TDBGrid grid;
    grid.setDataSource(&model);
    EXPECT_EQ(model.rowCount(), 0);

    ds.loadPacket(itemPacket());
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.index(0, 0).data().toString(), QStringLiteral("钢筋"));
    EXPECT_EQ(model.index(0, 1).data().toString(), QString());
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(),
              QStringLiteral("名称"));
    EXPECT_EQ(grid.columnWidth(0), 80);

    ds.append();
    ds.fieldByName("NAME").setText("砂");
    ds.post();
    EXPECT_EQ(model.rowCount(), 4);
    ds.moveTo(1);
    ds.edit();
    ds.fieldByName("NAME").setText("水泥 P.O42");
    ds.post();
    EXPECT_EQ(model.index(1, 0).data().toString(), QStringLiteral("水泥 P.O42"));
    EXPECT_EQ(grid.currentIndex().row(), 1);  // the dataset's current row is the grid's
    grid.setCurrentIndex(model.index(2, 0));
    EXPECT_EQ(ds.currentRow(), 2u);  // and the other way round
    ds.deleteRow();
    EXPECT_EQ(model.rowCount(), 3);
    // Another packet with the fields in another order: the columns find their fields again
    // before the views hear of the reset.
    QString seenAtReset;
    QObject::connect(&model, &QAbstractItemModel::modelReset, [&] {
        seenAtReset =
            model.index(0, 0).data().toString() + "/" + model.index(0, 2).data().toString();
    });
    ds.loadPacket(packet(
        R"(<FIELD attrname="ID" fieldtype="i4"/><FIELD attrname="NAME" fieldtype="string" WIDTH="12"/>)",
        R"(<ROW ID="7" NAME="石灰"/>)"));
    EXPECT_EQ(seenAtReset, QStringLiteral("石灰/7"));
    ds.close();
    EXPECT_EQ(model.rowCount(), 0);
}

}  // namespace
}  // namespace tarvelo::test
