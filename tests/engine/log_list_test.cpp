#include "server/engine/log_list.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <clocale>
#include <cstdio>

#include "server/engine/log_time_stamp.h"

namespace {

struct Change {
    char what;  // '+', '-', 'R'
    int index;
    std::string line;
    LogLineKind kind;
};

class Recorder : public LogListObserver {
public:
    std::vector<Change> changes;
    void OnLineAdded(int i, const std::string& l, LogLineKind k) override { changes.push_back({'+', i, l, k}); }
    void OnLineDeleted(int i, const std::string& l, LogLineKind k) override { changes.push_back({'-', i, l, k}); }
    void OnReset() override { changes.push_back({'R', -1, "", LogLineKind::Log}); }
};

}  // namespace

TEST(LogList, KeepsLinesInCaseInsensitiveAlphabeticalOrder) {
    LogList list;
    list.AddString("192.168.0.7:4000", LogLineKind::Peer);
    list.AddString("127.0.0.1:5000", LogLineKind::Peer);
    list.AddString("b line");
    list.AddString("A line");
    list.AddString("a line");  // equal ignoring case: after the earlier one
    EXPECT_EQ((std::vector<std::string>{"127.0.0.1:5000", "192.168.0.7:4000", "A line", "a line", "b line"}),
              list.Lines());
}

TEST(LogList, FindsAndDeletesTheFirstLineByCaseInsensitivePrefix) {
    LogList list;
    list.AddString("10.0.0.1:80");
    list.AddString("ABC:1");
    list.AddString("abc:12");
    EXPECT_EQ(1, list.FindString("abc:1"));
    EXPECT_EQ(-1, list.FindString("xyz"));
    EXPECT_TRUE(list.DeleteFirstWithPrefix("aBc:1"));
    EXPECT_EQ((std::vector<std::string>{"10.0.0.1:80", "abc:12"}), list.Lines());
    EXPECT_FALSE(list.DeleteFirstWithPrefix("nothing"));
    EXPECT_FALSE(list.DeleteString(5));
    EXPECT_TRUE(list.DeleteString(0));
    EXPECT_EQ(1, list.Count());
    list.ResetContent();
    EXPECT_EQ(0, list.Count());
}

TEST(LogList, APeerLineIsRemovedOnlyByItsOwnPeerText) {
    LogList list;
    // Stop emptied the list; a newer client on a port that extends the old one is listed.
    list.AddString("127.0.0.1:50001", LogLineKind::Peer);
    list.AddString("127.0.0.1:5000 - a log line that happens to start like a peer");
    EXPECT_FALSE(list.DeletePeerLine("127.0.0.1:5000"));
    EXPECT_EQ(2, list.Count());
    list.AddString("127.0.0.1:5000", LogLineKind::Peer);
    EXPECT_TRUE(list.DeletePeerLine("127.0.0.1:5000"));
    EXPECT_EQ((std::vector<std::string>{"127.0.0.1:5000 - a log line that happens to start like a peer", "127.0.0.1:50001"}),
              list.Lines());
}

TEST(LogList, ObserverSeesEveryChangeWithItsIndexAndKind) {
    LogList list;
    Recorder r;
    list.SetObserver(&r);
    list.AddString("m", LogLineKind::Log);
    list.AddString("c:1", LogLineKind::Peer);
    list.DeleteFirstWithPrefix("C:");
    list.ResetContent();
    list.SetObserver(nullptr);
    list.AddString("unseen");
    ASSERT_EQ(4u, r.changes.size());
    EXPECT_EQ('+', r.changes[0].what);
    EXPECT_EQ(0, r.changes[0].index);
    EXPECT_EQ('+', r.changes[1].what);
    EXPECT_EQ(0, r.changes[1].index);  // "c:1" sorts before "m"
    EXPECT_EQ(LogLineKind::Peer, r.changes[1].kind);
    EXPECT_EQ('-', r.changes[2].what);
    EXPECT_EQ("c:1", r.changes[2].line);
    EXPECT_EQ(LogLineKind::Peer, r.changes[2].kind);
    EXPECT_EQ('R', r.changes[3].what);
}

TEST(LogTimeStamp, FormatsTheLocalTimeAsTheLocaleDoes) {
    // The C locale writes a date with time as "MM/DD/YY HH:MM:SS"; the epoch
    // in UTC is 01/01/70 00:00:00.
    const char* oldTz = getenv("TZ");
    const std::string saved = oldTz ? oldTz : "";
    setenv("TZ", "UTC", 1);
    tzset();
    const std::string old = std::setlocale(LC_TIME, nullptr);
    std::setlocale(LC_TIME, "C");
    EXPECT_EQ("01/01/70 00:00:00", LogTimeStamp(0));
    EXPECT_EQ("12/08/26 15:41:40", LogTimeStamp(1796744500));
    const std::string now = LogTimeStamp();
    ASSERT_EQ(17u, now.size()) << now;
    for (size_t i : {2u, 5u}) EXPECT_EQ('/', now[i]) << now;
    for (size_t i : {11u, 14u}) EXPECT_EQ(':', now[i]) << now;
    std::setlocale(LC_TIME, old.c_str());
    if (oldTz) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(LogList, LogLinesCarryTheTimeStampAndADash) {
    LogList list;
    list.AddLogLine("bind - Address already in use");
    ASSERT_EQ(1, list.Count());
    const std::string line = list.Lines()[0];
    const std::string tail = " - bind - Address already in use";
    ASSERT_GT(line.size(), tail.size());
    EXPECT_EQ(tail, line.substr(line.size() - tail.size())) << line;
}

TEST(LogList, KeepsTheNewestThousandLinesAndTellsTheObserverWhatWent) {
    LogList list;
    Recorder recorder;
    list.SetObserver(&recorder);
    list.AddString("10.0.0.1:7000", LogLineKind::Peer);
    // Arrival order differs from sorted order, so "oldest" cannot mean "first".
    for (int i = 0; i < 1500; ++i) {
        char text[16];
        std::snprintf(text, sizeof text, "line %04d", (i * 7) % 1500);
        list.AddString(text);
    }
    ASSERT_EQ(1000, list.Count());
    size_t deleted = 0;
    for (const Change& c : recorder.changes) deleted += c.what == '-';
    EXPECT_EQ(501u, deleted);
    // The oldest log lines went; the live connection's peer line stays.
    const auto lines = list.Lines();
    EXPECT_GE(list.FindString("10.0.0.1"), 0);
    for (int i : {0, 500}) {
        char text[16];
        std::snprintf(text, sizeof text, "line %04d", (i * 7) % 1500);
        EXPECT_EQ(-1, list.FindString(text)) << text;
    }
    for (int i : {501, 1499}) {
        char text[16];
        std::snprintf(text, sizeof text, "line %04d", (i * 7) % 1500);
        EXPECT_GE(list.FindString(text), 0) << text;
    }
    EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end()));
}
