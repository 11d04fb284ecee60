#include "DecodingTesting.h"
#include "market/Position.h"

#include <QUuid>

#include <gtest/gtest.h>

using namespace mintlux;

namespace {

Position lot(QUuid id, std::optional<QString> notes = std::nullopt) {
    return Position(id, MetalSeries::silver, *Decimal::parse("12.5"), MetalUnit::gram,
                    *Decimal::parse("0.95"), Currency::gbp, MetalUnit::troyOunce, std::move(notes));
}

const QUuid kId = QUuid::fromString(QStringLiteral("e621e1f8-c36c-495a-93fc-0c247a3e6e5f"));

}  // namespace

TEST(Position, NewIdsAreRandomVersion4) {
    const QUuid id = Position::newId();
    EXPECT_EQ(id.version(), QUuid::Random);
    EXPECT_NE(id, Position::newId());
}

TEST(Position, EqualityCoversEveryField) {
    const Position base = lot(kId, QStringLiteral("coins"));
    EXPECT_EQ(base, lot(kId, QStringLiteral("coins")));
    EXPECT_EQ(base.hash(), lot(kId, QStringLiteral("coins")).hash());
    EXPECT_NE(base, lot(kId, QStringLiteral("bars")));
    EXPECT_NE(base, lot(kId));
    EXPECT_NE(lot(kId, QString()), lot(kId));  // empty notes are still notes
    EXPECT_NE(base, lot(Position::newId(), QStringLiteral("coins")));

    Position edited = base;
    edited.setPurchaseUnit(MetalUnit::gram);
    EXPECT_NE(edited, base);
    edited.setPurchaseUnit(MetalUnit::troyOunce);
    EXPECT_EQ(edited, base);
}

TEST(PositionJson, KeysInFieldOrderAndRoundTrip) {
    const Position noNotes = lot(kId);
    const QByteArray json = noNotes.toJson();
    EXPECT_EQ(json,
              "{\"id\":\"e621e1f8-c36c-495a-93fc-0c247a3e6e5f\",\"series\":\"XAG\","
              "\"quantity\":12.5,\"quantityUnit\":\"gram\",\"avgCostPerUnit\":0.95,"
              "\"costCurrency\":\"GBP\",\"purchaseUnit\":\"troyOunce\"}");
    EXPECT_EQ(Position::fromJson(json), noNotes);

    const Position withNotes = lot(kId, QString::fromUtf8("bought in \"Z\u00fcrich\"\n\u20b9"));
    EXPECT_EQ(Position::fromJson(withNotes.toJson()), withNotes);
    EXPECT_TRUE(withNotes.toJson().endsWith(
        ",\"notes\":\"bought in \\\"Z\xC3\xBCrich\\\"\\n\xE2\x82\xB9\"}"));

    const Position nullNotes = Position::fromJson(
        R"({"notes":null,"purchaseUnit":"troyOunce","costCurrency":"GBP","avgCostPerUnit":0.950,)"
        R"("quantityUnit":"gram","quantity":12.5,"series":"XAG","id":"E621E1F8-C36C-495A-93FC-0C247A3E6E5F"})");
    EXPECT_EQ(nullNotes, noNotes);
}

TEST(PositionJson, DecodingFailures) {
    using enum DecodingError::Kind;
    const std::string rest =
        R"("series":"XAG","quantity":1,"quantityUnit":"gram","avgCostPerUnit":1,"costCurrency":"GBP","purchaseUnit":"gram")";
    test::expectFromJsonFailures<Position>({
        {"{" + rest + "}", keyNotFound, "id"},
        {R"({"id":"not-a-uuid",)" + rest + "}", dataCorrupted, "id"},
        {R"({"id":"{e621e1f8-c36c-495a-93fc-0c247a3e6e5f}",)" + rest + "}", dataCorrupted, "id"},
        {R"({"id":42,)" + rest + "}", typeMismatch, "id"},
        {R"({"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","notes":7,)" + rest + "}", typeMismatch,
         "notes"},
        {R"({"id":"e621e1f8-c36c-495a-93fc-0c247a3e6e5f","costCurrency":"CHF",)" +
             rest.substr(0, rest.find(",\"costCurrency")) + R"(,"purchaseUnit":"gram"})",
         dataCorrupted, "costCurrency"},
    });
    // The nil identifier is a valid identifier.
    EXPECT_EQ(
        Position::fromJson(QByteArray::fromStdString(
                               R"({"id":"00000000-0000-0000-0000-000000000000",)" + rest + "}"))
            .id(),
        QUuid());
}
