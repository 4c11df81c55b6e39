// Ccard::rdkvk and convger end to end against the simulated terminals.
#include <algorithm>
#include <initializer_list>

#include "card_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The worked template of the published description of the card.
const Bytes kWorkedTemplate = {
    0x60, 0x7D, 0x80, 0x0E, 0x54, 0x45, 0x53, 0x54, 0x4B, 0x41, 0x53, 0x53, 0x45, 0x20, 0x4E, 0x4F, 0x52, 0x44,
    0x81, 0x07, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x8F, 0x05, 0x31, 0x32, 0x33, 0x34, 0x35, 0x82, 0x0C,
    0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x30, 0x31, 0x32, 0x83, 0x04, 0x31, 0x30, 0x30, 0x30,
    0x90, 0x01, 0x31, 0x85, 0x06, 0x4A, 0x7D, 0x72, 0x67, 0x65, 0x6E, 0x87, 0x06, 0x4D, 0x7D, 0x6C, 0x6C, 0x65,
    0x72, 0x88, 0x08, 0x30, 0x31, 0x30, 0x31, 0x31, 0x39, 0x37, 0x30, 0x89, 0x0D, 0x48, 0x61, 0x75, 0x70, 0x74,
    0x73, 0x74, 0x72, 0x61, 0x7E, 0x65, 0x20, 0x31, 0x8B, 0x05, 0x31, 0x32, 0x33, 0x34, 0x35, 0x8C, 0x0B, 0x4D,
    0x75, 0x73, 0x74, 0x65, 0x72, 0x73, 0x74, 0x61, 0x64, 0x74, 0x8D, 0x04, 0x31, 0x32, 0x39, 0x39, 0x8E, 0x01,
    0x78};

// An insurance card whose template, from card byte 30 on, is `data`; the
// rest of the card is blanks.
termsim::Card CardWith(const Bytes& data) {
    termsim::Card card = termsim::InsuranceCard(termsim::ExamplePerson());
    std::fill(card.bytes.begin() + 30, card.bytes.end(), 0x20);
    const size_t room = card.bytes.size() - 30;
    std::copy(data.begin(), data.begin() + static_cast<long>(std::min(room, data.size())), card.bytes.begin() + 30);
    return card;
}

// 60, the short length of the fields, the fields.
Bytes Template(std::initializer_list<Bytes> fields) {
    Bytes t{0x60, 0x00};
    for (const Bytes& f : fields) t.insert(t.end(), f.begin(), f.end());
    t[1] = static_cast<uint8_t>(t.size() - 2);
    return t;
}

Bytes Field(uint8_t tag, const std::string& value) {
    Bytes f(value.begin(), value.end());
    f.insert(f.begin(), {tag, static_cast<uint8_t>(value.size())});
    return f;
}

struct Expected {
    int valid;
    std::string title, firstname, surname, street, postcode, town;
};

void ExpectKvk(const Expected& e, const _kardodll_KVKINFO& k, const std::string& what) {
    EXPECT_EQ(e.valid, k.valid) << what;
    EXPECT_EQ(e.title, k.title) << what;
    EXPECT_EQ(e.firstname, k.firstname) << what;
    EXPECT_EQ(e.surname, k.surname) << what;
    EXPECT_EQ(e.street, k.street) << what;
    EXPECT_EQ(e.postcode, k.postcode) << what;
    EXPECT_EQ(e.town, k.town) << what;
}

termsim::InsuredPerson LongPerson() {
    termsim::InsuredPerson p = termsim::ExamplePerson();
    p.insurer = "ALLGEMEINE ORTSKRANKENKASSE";
    p.title = "Prof. Dr. med.";
    p.firstName = "Karl-Heinz Friedrich";
    p.namePrefix = "von und zu";
    p.surname = "Oberhausen-Sterkrade";
    p.street = "Lange Strasse 100 Hinterhaus";
    p.town = "Frankfurt am Main";
    return p;
}

}  // namespace

using InsuranceData = CardTest;

TEST_P(InsuranceData, Templates) {
    Bytes longForm = termsim::InsuranceTemplate(LongPerson());
    ASSERT_EQ(0x81, longForm[1]) << "the long person must need the long length form";
    // Claims 255 bytes; the town's value runs past the card's end.
    Bytes overlong{0x60, 0x81, 0xFF, 0x87, 0x03, 'A', 'B', 'C', 0xC0, 0xD2};
    overlong.resize(overlong.size() + 0xD2, 0x20);
    for (uint8_t b : Field(0x8C, "Musterstadt")) overlong.push_back(b);
    const struct {
        const char* what;
        Bytes data;
        Expected expected;
    } cases[] = {
        {"worked example", kWorkedTemplate,
         {1, "", "J\x81rgen", "M\x81ller", "Hauptstra\xE1" "e 1", "12345", "Musterstadt"}},
        {"0x8A then 0x8B, 0x86 and 0x88 skipped",
         Template({Field(0x84, "Dr."), Field(0x85, "{|}"), Field(0x86, "von"), Field(0x87, "[\\]"),
                   Field(0x88, "01011970"), Field(0x8A, "A"), Field(0x8B, "1010"), Field(0x8C, "Wien~")}),
         {1, "Dr.", "\x84\x94\x81", "\x8E\x99\x9A", "", "1010", "Wien\xE1"}},
        {"postcodes stay unconverted", Template({Field(0x8B, "[{~"), Field(0x87, "X")}), {1, "", "", "X", "", "[{~", ""}},
        {"long length form",
         longForm,
         {1, "Prof. Dr. med.", "Karl-Heinz Friedrich", "Oberhausen-Sterkrade", "Lange Strasse 100 Hinterhaus", "12345",
          "Frankfurt am Main"}},
        {"more than the card holds", overlong, {1, "", "", "ABC", "", "", ""}},
        {"a field in the long length form", Template({{0x89, 0x81, 0x04, 'W', 'e', 'g', '1'}, Field(0x8C, "Ort")}),
         {1, "", "", "", "Weg1", "", "Ort"}},
        {"empty template", {0x60, 0x00}, {1, "", "", "", "", "", ""}},
        {"two length bytes", {0x60, 0x82, 0x00, 0x05, 0x87, 0x03, 'A', 'B', 'C'}, {0, "", "", "", "", "", ""}},
    };
    for (const auto& c : cases) {
        sim->Slot().Insert(CardWith(c.data));
        ExpectKvk(c.expected, card.rdkvk(), c.what);
        ExpectKvk(c.expected, card.kvk, c.what);
    }
    EXPECT_TRUE(PortClosed());
}

TEST_P(InsuranceData, WaitsForTheCardUntilAborted) {
    sim->Slot().Remove();
    int waits = 0;
    onMessage = [&](const Posted& p) {
        if (p.message == WM_CARDSTATE && p.wparam == 2 && p.lparam == 2 && ++waits == 3)
            kardo_post_card_abort(kardo_current_thread_id());
    };
    card.kvk.surname = "stale";
    ExpectKvk({0, "", "", "", "", "", ""}, card.rdkvk(), "aborted");
    EXPECT_EQ(3, waits);
    EXPECT_TRUE(PortClosed());
}

TEST_P(InsuranceData, AClosedPortEndsTheWait) {
    sim->Slot().Remove();
    // The terminal goes away while the reader waits: its port fails and closes.
    onMessage = [&](const Posted& p) {
        if (p.message == WM_CARDSTATE && p.wparam == 2 && p.lparam == 2 && sim) sim.reset();
    };
    ExpectKvk({0, "", "", "", "", "", ""}, card.rdkvk(), "terminal gone");
    EXPECT_TRUE(PortClosed());
}

TEST_P(InsuranceData, TypesWithoutInsuranceCardsTouchNoTerminal) {
    sim->Slot().Insert(termsim::InsuranceCard(termsim::ExamplePerson()));
    for (int type : {0, 1, 2, 6}) {
        const unsigned char stamp[6] = {};
        card.initCardType(type, sim->Path(), 12, 6, stamp, TwelveAndSixLayout(), _kardodll_sc4tag{}, window, 0);
        EXPECT_EQ(0, card.rdkvk().valid) << type;
    }
    EXPECT_EQ(0, sim->Slot().counters.reads);
}

INSTANTIATE_TEST_SUITE_P(Families, InsuranceData, ::testing::ValuesIn(SimulatedFamilies()), FamilyCaseName);

TEST(Convger, GermanLettersBecomeCodePage437) {
    unsigned char text[] = {0x5B, 0x5C, 0x5D, 0x7B, 0x7C, 0x7D, 0x7E, 0x41, 0x20};
    Ccard card;
    card.convger(text, 8);
    EXPECT_EQ(0, std::memcmp(text, "\x8E\x99\x9A\x84\x94\x81\xE1\x41\x20", 9));
    card.convger(text, 0);
    EXPECT_EQ(0x8E, text[0]);
}
