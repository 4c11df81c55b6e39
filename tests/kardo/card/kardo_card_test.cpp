// kardo-card against the simulated terminals, as a user runs it.
#include <atomic>
#include <cstdio>
#include <fstream>

#include "card_fixture.h"
#include "tovan_process.h"

namespace {

using Bytes = std::vector<uint8_t>;

// kardo-card run as a user runs it.
class ProgramRun : public testsupport::TovanProcess {
public:
    explicit ProgramRun(const std::vector<std::string>& args) : TovanProcess(KARDO_CARD_PROGRAM, args) {}
    int Finish() { return Wait(60000); }
};

class KardoCard : public ::testing::TestWithParam<FamilyCase> {
protected:
    void SetUp() override {
        setenv("KARDO_TEST_TIME_SCALE", GetParam().timeScale, 1);
        termsim::TerminalOptions options;
        options.family = GetParam().family;
        options.timeScale = 0.5;
        sim = std::make_unique<termsim::Terminal>(options);
        sim->Slot().Insert(termsim::BlankMemoryCard());
        sim->Start();
    }
    void TearDown() override {
        sim->GetTrace().SetObserver(nullptr);
        sim->Stop();
        for (const std::string& f : files) std::remove(f.c_str());
    }

    // The terminal options and then the command.
    std::vector<std::string> Args(std::vector<std::string> command) {
        std::vector<std::string> args{"--family", GetParam().name, "--port", sim->Path()};
        args.insert(args.end(), command.begin(), command.end());
        return args;
    }
    std::string File(const std::string& name, const std::string& text) {
        std::string path = ::testing::TempDir() + "kardo-card-" + std::to_string(getpid()) + "-" + name;
        std::ofstream(path) << text;
        files.push_back(path);
        return path;
    }

    std::unique_ptr<termsim::Terminal> sim;
    std::vector<std::string> files;
};

}  // namespace

TEST_P(KardoCard, KvkPrintsTheInsuredPersonInUtf8) {
    sim->Slot().Insert(termsim::InsuranceCard(termsim::ExamplePerson()));
    ProgramRun text(Args({"kvk"}));
    EXPECT_EQ(0, text.Finish()) << text.Errors();
    EXPECT_TRUE(text.OutputHas("J\xC3\xBCrgen M\xC3\xBCller\nHauptstra\xC3\x9F" "e 1\n12345 Musterstadt\n"));

    ProgramRun json(Args({"--json", "kvk"}));
    EXPECT_EQ(0, json.Finish()) << json.Errors();
    EXPECT_TRUE(json.OutputHas("{\"valid\":1,\"title\":\"\",\"firstname\":\"J\xC3\xBCrgen\",\"surname\":\"M\xC3\xBCller\","
                               "\"street\":\"Hauptstra\xC3\x9F" "e 1\",\"postcode\":\"12345\",\"town\":\"Musterstadt\"}\n"));
}

TEST_P(KardoCard, WrittenRecordsReadBack) {
    ProgramRun write(Args({"write", "pps", "1234567", "123456789012"}));
    ASSERT_EQ(0, write.Finish()) << write.Errors();
    EXPECT_TRUE(write.ErrorsHave("writing 100%"));
    ProgramRun read(Args({"read", "pps"}));
    EXPECT_EQ(0, read.Finish()) << read.Errors();
    EXPECT_TRUE(read.OutputHas("123456789012\n"));

    // A layout file: the pat record in entry 1 with a head, four digits, a stamp.
    const std::string layout = File("layout", "# pat record\npat.1.head = AB12\npat.1.row1 = GGGG\npatlen = 4\n"
                                              "stamp = 0102030405a6\nmode = 7\n");
    ProgramRun pat(Args({"--layout", layout, "--json", "write", "pat", "42", "4711"}));
    ASSERT_EQ(0, pat.Finish()) << pat.Errors();
    EXPECT_TRUE(pat.OutputHas("{\"record\":\"pat\",\"number\":42,\"value\":\"4711\",\"result\":0}\n"));
    const termsim::Card card = *sim->Slot().Contents();
    // Entry 1's header row (image 8 to 15): the count 4, the group digit 2,
    // then the head: card bytes 4 to 6.
    EXPECT_EQ((Bytes{0x24, 0xBA, 0x21}), Bytes(card.bytes.begin() + 4, card.bytes.begin() + 7));
    EXPECT_EQ((Bytes{1, 2, 3, 4, 5, 0xA6}), Bytes(card.bytes.begin() + 242, card.bytes.begin() + 248));
    EXPECT_EQ(7, card.bytes[254]);
    ProgramRun back(Args({"--layout", layout, "--json", "read", "pat"}));
    EXPECT_EQ(0, back.Finish()) << back.Errors();
    EXPECT_TRUE(back.OutputHas("{\"record\":\"pat\",\"value\":\"4711\"}\n"));
}

TEST_P(KardoCard, ServiceCardFromAFile) {
    const std::string service = File("service", "flags = JNJNJN\nnum1 = 12\nnum2 = 25\n");
    ProgramRun run(Args({"service", service}));
    ASSERT_EQ(0, run.Finish()) << run.Errors();
    const termsim::Card card = *sim->Slot().Contents();
    // The switches as F or 0 from image position 96, num1 as one digit at 103.
    EXPECT_EQ((Bytes{0x0F, 0x0F, 0x0F, 0xC0}), Bytes(card.bytes.begin() + 48, card.bytes.begin() + 52));
}

TEST_P(KardoCard, ExitCodes) {
    const struct {
        const char* what;
        std::function<void(termsim::Terminal&)> setup;
        std::vector<std::string> command;
        int exit;
        const char* message;
    } cases[] = {
        {"no command", nullptr, {}, 2, "no command given"},
        {"type 2 and kvk", nullptr, {"--type", "2", "kvk"}, 2, "reads no insurance cards"},
        {"bad number", nullptr, {"write", "pps", "12a", "1"}, 2, "NUMBER must be a whole number"},
        {"bad number record", nullptr, {"--patmode", "1", "write", "pat", "1", "47x"}, 2, "a whole number, not \"47x\""},
        {"no terminal", nullptr, {"--port", "/nonexistent/tty", "read", "pps"}, 3, "terminal answers on /nonexistent/tty"},
        {"insurance card", [](termsim::Terminal& t) { t.Slot().Insert(termsim::InsuranceCard(termsim::ExamplePerson())); },
         {"write", "pps", "1", "1234"}, 5, "health insurance card"},
        {"read back wrongly", nullptr, {"--ppslen", "4", "write", "pps", "1", " 1234"}, 6,
         "Fehler beim Beschreiben der Karte: soll  1234, ist 1234"},
        {"no insurance card data", nullptr, {"kvk"}, 7, "no valid insurance card data"},
        {"no card in time", [](termsim::Terminal& t) { t.Slot().Remove(); }, {"--timeout", "1", "read", "pps"}, 4,
         "insert a card"},
        {"write refused", [](termsim::Terminal& t) { t.Faults().Add(termsim::ParseFault("refuse-write=6581")); },
         {"write", "pps", "1", "1"}, 1, "failed"},
    };
    for (const auto& c : cases) {
        sim->Slot().Insert(termsim::BlankMemoryCard());
        sim->Faults().Clear();
        if (c.setup) c.setup(*sim);
        ProgramRun run(Args(c.command));
        EXPECT_EQ(c.exit, run.Finish()) << c.what << "\n" << run.Errors();
        EXPECT_TRUE(run.ErrorsHave(c.message)) << c.what << "\n" << run.Errors();
    }
    ProgramRun layout(Args({"--layout", File("bad", "pps.0.row1 = GGG\npps.9.row1 = G\n"), "read", "pps"}));
    EXPECT_EQ(2, layout.Finish());
    EXPECT_TRUE(layout.ErrorsHave("bad:2: unknown key \"pps.9.row1\""));
}

TEST_P(KardoCard, CtrlCDuringAWriteStopsItAndClosesThePort) {
    std::unique_ptr<ProgramRun> run;
    std::atomic<int> updates{0};
    // On the fifth UPDATE BINARY the user presses Ctrl-C; the terminal answers
    // once the program has taken it.
    sim->GetTrace().SetObserver([&](termsim::Direction d, const Bytes& b) {
        if (d != termsim::Direction::HostToTerminal || !IsCardWrite(GetParam().family, b)) return;
        if (++updates == 5) {
            run->Signal(SIGINT);
            run->ErrorsHave("stopping", 60000);
        }
    });
    run = std::make_unique<ProgramRun>(Args({"write", "pps", "1234567", "123456789012"}));
    EXPECT_EQ(4, run->Finish()) << run->Errors();
    EXPECT_EQ(5, updates);
    EXPECT_TRUE(run->ErrorsHave("stay written"));
    // The pieces written stay; the rest of the card is as it was.
    const termsim::Card card = *sim->Slot().Contents();
    EXPECT_EQ(0x16, card.bytes[16]);
    EXPECT_EQ(0xFF, card.bytes[248]);
    // The port was closed: the next program opens it at once.
    ProgramRun read(Args({"read", "pps"}));
    EXPECT_EQ(0, read.Finish()) << read.Errors();
}

TEST_P(KardoCard, KvkWatchReadsCardAfterCard) {
    sim->Slot().Insert(termsim::InsuranceCard(termsim::ExamplePerson()));
    ProgramRun run(Args({"--json", "kvk", "--watch"}));
    ASSERT_TRUE(run.OutputHas("\"surname\":\"M\xC3\xBCller\"", 60000));
    ASSERT_TRUE(run.ErrorsHave("take the card out", 60000));
    sim->Slot().Remove();
    ASSERT_TRUE(run.ErrorsHave("insert a card", 60000));
    termsim::InsuredPerson next = termsim::ExamplePerson();
    next.firstName = "Erika";
    next.surname = "Mustermann";
    sim->Slot().Insert(termsim::InsuranceCard(next));
    ASSERT_TRUE(run.OutputHas("\"surname\":\"Mustermann\"", 60000));
    run.Signal(SIGINT);
    EXPECT_EQ(0, run.Finish()) << run.Errors();
    // One result for each card.
    EXPECT_FALSE(run.OutputHas("\"valid\"", 3, 0));
}

// As the README shows it: the simulator program, its link as the port.
TEST_P(KardoCard, KvkAgainstTheSimulatorProgram) {
    const std::string link = ::testing::TempDir() + "kardo-card-link-" + std::to_string(getpid());
    testsupport::TovanProcess termsim(KARDO_TERMSIM_PROGRAM,
                                      {"--family", GetParam().name, "--card", "insurance", "--link", link});
    ASSERT_TRUE(termsim.OutputHas("terminal on", 60000)) << termsim.Errors();
    ProgramRun run({"--family", GetParam().name, "--port", link, "kvk"});
    EXPECT_EQ(0, run.Finish()) << run.Errors();
    EXPECT_TRUE(run.OutputHas("12345 Musterstadt\n"));
    termsim.Signal(SIGTERM);
    EXPECT_EQ(0, termsim.Wait(60000));
}

INSTANTIATE_TEST_SUITE_P(Families, KardoCard, ::testing::ValuesIn(SimulatedFamilies()), FamilyCaseName);
