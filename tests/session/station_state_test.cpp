// The station's state: each setter announces a real change once and stays quiet for a value
// equal to the one held, so a view following a signal is not redrawn for nothing.

#include "session/station_state.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

#include <functional>

TEST(StationState, StartsWithTheDeliveredDefaults) {
    const StationState state;
    EXPECT_EQ(state.line().PortName, QStringLiteral("COM1"));
    EXPECT_EQ(state.line().BaudIndex, 3);
    EXPECT_EQ(state.line().DataBitsIndex, 2);
    EXPECT_EQ(state.line().ModuleAddress, 1);
    EXPECT_FALSE(state.portOpen());
    EXPECT_DOUBLE_EQ(state.rated().RatedVoltage, 220.0);
    EXPECT_DOUBLE_EQ(state.rated().RatedCurrent, 5.0);
    EXPECT_TRUE(state.product().ModelName.isEmpty());
    EXPECT_TRUE(state.product().UserParamsEditable);
}

TEST(StationState, LineChangesAreAnnouncedOncePerRealChange) {
    StationState state;
    QSignalSpy changed(&state, &StationState::lineChanged);
    state.setLine(state.line());
    EXPECT_EQ(changed.count(), 0);

    LineChoice line = state.line();
    line.StopBitsIndex = 1;
    state.setLine(line);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(state.line().StopBitsIndex, 1);
    state.setLine(line);
    EXPECT_EQ(changed.count(), 1);

    // Every member takes part in the comparison.
    const std::function<void(LineChoice&)> edits[] = {
        [](LineChoice& l) { l.PortName = QStringLiteral("/dev/ttyS1"); },
        [](LineChoice& l) { l.PortIndex = 4; },
        [](LineChoice& l) { l.BaudIndex = 5; },
        [](LineChoice& l) { l.ParityIndex = 2; },
        [](LineChoice& l) { l.DataBitsIndex = 0; },
        [](LineChoice& l) { l.StopBitsIndex = 0; },
        [](LineChoice& l) { l.ModuleAddress = 247; },
    };
    int expected = 1;
    for (const auto& edit : edits) {
        edit(line);
        state.setLine(line);
        EXPECT_EQ(changed.count(), ++expected);
    }
    EXPECT_EQ(state.line(), line);
}

TEST(StationState, PortStateIsAnnouncedWithItsValue) {
    StationState state;
    QSignalSpy changed(&state, &StationState::portOpenChanged);
    state.setPortOpen(false);
    EXPECT_EQ(changed.count(), 0);
    state.setPortOpen(true);
    state.setPortOpen(true);
    ASSERT_EQ(changed.count(), 1);
    EXPECT_TRUE(changed.at(0).at(0).toBool());
    EXPECT_TRUE(state.portOpen());
    state.setPortOpen(false);
    ASSERT_EQ(changed.count(), 2);
    EXPECT_FALSE(changed.at(1).at(0).toBool());
}

TEST(StationState, ProductChangesAreAnnouncedOncePerRealChange) {
    StationState state;
    QSignalSpy changed(&state, &StationState::productChanged);
    state.setProduct(state.product());
    EXPECT_EQ(changed.count(), 0);

    ProductSelection product;
    product.ModelName = QStringLiteral("KX7410D07-01");
    product.SchemeName = QStringLiteral("DLT645-2007方式");
    product.TXXY = 2;
    state.setProduct(product);
    state.setProduct(product);
    EXPECT_EQ(changed.count(), 1);
    EXPECT_EQ(state.product().TXXY, 2);

    // A field deep in the scheme counts as much as the model's name.
    product.GLYSFXSN = 1;
    state.setProduct(product);
    EXPECT_EQ(changed.count(), 2);
    product.UserParamsEditable = false;
    state.setProduct(product);
    EXPECT_EQ(changed.count(), 3);
    EXPECT_EQ(state.product(), product);
}

TEST(StationState, RatedValueChangesAreAnnouncedOncePerRealChange) {
    StationState state;
    QSignalSpy changed(&state, &StationState::ratedValuesChanged);
    state.setRated({220.0, 5.0});
    EXPECT_EQ(changed.count(), 0);
    state.setRated({57.5, 5.0});
    state.setRated({57.5, 5.0});
    EXPECT_EQ(changed.count(), 1);
    state.setRated({57.5, 1.5});
    EXPECT_EQ(changed.count(), 2);
    EXPECT_DOUBLE_EQ(state.rated().RatedVoltage, 57.5);
    EXPECT_DOUBLE_EQ(state.rated().RatedCurrent, 1.5);
}
