#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>
#include <thread>
#include <vector>

#include "agent/base/logger.h"
#include "support/temp_dir.h"

namespace {

using vexlo::test::ReadFileBytes;
using vexlo::test::TempDir;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

// The message part of a line: after "hh:mm:ss.mmm " and before the final blank.
std::string Message(const std::string& line) {
    return line.substr(13, line.size() - 14);
}

// Records messages, to test the level rule and the formatting apart from files.
class RecordingLogger : public vexlo::ILogger {
public:
    void Write(const char16_t* text) override { messages.emplace_back(text); }
    std::vector<std::u16string> messages;
};

void Log(vexlo::ILogger& logger, int traceLevel, int level, const char16_t* format, ...) {
    va_list args;
    va_start(args, format);
    vexlo::LogMessageV(logger, traceLevel, level, format, args);
    va_end(args);
}

TEST(Logger, LinesHaveTheTimeTheMessageABlankAndCrLf) {
    TempDir dir;
    vexlo::CLogger logger;
    logger.Open(dir.wide("vexlo-plugin.log"));
    logger.Write(u"Got request for scan");
    logger.Write(u"Close desktop...");
    std::vector<std::string> lines = Lines(ReadFileBytes(dir.path() / "vexlo-plugin.log"));
    ASSERT_EQ(lines.size(), 2u);
    for (const auto& line : lines) {
        ASSERT_GE(line.size(), 14u);
        // "hh:mm:ss.mmm "
        for (size_t i : {0, 1, 3, 4, 6, 7, 9, 10, 11}) {
            EXPECT_TRUE(isdigit(static_cast<unsigned char>(line[i]))) << line;
        }
        EXPECT_EQ(line[2], ':');
        EXPECT_EQ(line[5], ':');
        EXPECT_EQ(line[8], '.');
        EXPECT_EQ(line[12], ' ');
    }
    EXPECT_EQ(Message(lines[0]), "Got request for scan");
    EXPECT_EQ(Message(lines[1]), "Close desktop...");
    EXPECT_EQ(lines[1].back(), ' ');
}

TEST(Logger, OpeningEmptiesAnExistingFile) {
    TempDir dir;
    vexlo::test::WriteFileBytes(dir.path() / "log", "old lines\r\n");
    vexlo::CLogger logger;
    logger.Open(dir.wide("log"));
    EXPECT_EQ(ReadFileBytes(dir.path() / "log"), "");
}

TEST(Logger, OtherProgramsMayReadTheLogButNotWriteIt) {
    TempDir dir;
    vexlo::CLogger logger;
    logger.Open(dir.wide("log"));
    HANDLE reader =
        CreateFileW(dir.wide("log").c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    CloseHandle(reader);
    HANDLE writer =
        CreateFileW(dir.wide("log").c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
}

TEST(Logger, AFileThatCannotBeCreatedFailsSilently) {
    TempDir dir;
    vexlo::CLogger logger;
    logger.Open(dir.wide("no/such/folder/log"));
    EXPECT_TRUE(logger.HasHandle());
    logger.Write(u"lost");
    EXPECT_FALSE(std::filesystem::exists(dir.path() / "no"));
}

TEST(Logger, CharactersOutsideTheAnsiCodePageBecomeItsDefaultCharacter) {
    // The writing thread's code page is UTF-8 here: Cyrillic passes whole,
    // and an unpaired surrogate becomes the replacement character.
    TempDir dir;
    vexlo::CLogger logger;
    logger.Open(dir.wide("log"));
    logger.Write(u"Агент \xD800!");
    std::string text = ReadFileBytes(dir.path() / "log");
    EXPECT_EQ(Message(Lines(text).at(0)), "Агент \xEF\xBF\xBD!");
}

TEST(Logger, ConcurrentLinesNeverInterleave) {
    TempDir dir;
    vexlo::CLogger logger;
    logger.Open(dir.wide("log"));
    std::vector<std::thread> writers;
    for (int t = 0; t < 6; ++t) {
        writers.emplace_back([&logger, t] {
            std::u16string message(200, static_cast<char16_t>(u'a' + t));
            for (int i = 0; i < 200; ++i) {
                logger.Write(message.c_str());
            }
        });
    }
    for (auto& writer : writers) {
        writer.join();
    }
    std::vector<std::string> lines = Lines(ReadFileBytes(dir.path() / "log"));
    ASSERT_EQ(lines.size(), 1200u);
    for (const auto& line : lines) {
        std::string message = Message(line);
        ASSERT_EQ(message.size(), 200u);
        EXPECT_EQ(message, std::string(200, message[0]));
    }
}

TEST(LogLevels, OnlyLevelsUpToTheTraceLevelAreWritten) {
    RecordingLogger logger;
    for (int level = 1; level <= 4; ++level) {
        Log(logger, 3, level, u"level %i", level);
    }
    ASSERT_EQ(logger.messages.size(), 3u);
    EXPECT_EQ(logger.messages[2], u"level 3");
    Log(logger, 0, 1, u"nothing");
    Log(logger, -1, 1, u"nothing");
    EXPECT_EQ(logger.messages.size(), 3u);
}

TEST(LogLevels, MessagesAreFormattedWithWindowsRules) {
    RecordingLogger logger;
    Log(logger, 4, 3, u"SendStateToClient to  0x%08X state = %i, info = %i", 0x1234u, -3, 0);
    Log(logger, 4, 4, u"Started processing %s", u"/data/Scanned/1.bmp");
    EXPECT_EQ(logger.messages[0], u"SendStateToClient to  0x00001234 state = -3, info = 0");
    EXPECT_EQ(logger.messages[1], u"Started processing /data/Scanned/1.bmp");
}

TEST(LogLevels, MessagesAreCutTo999Characters) {
    RecordingLogger logger;
    std::u16string exact(999, u'x');
    std::u16string longer(1500, u'y');
    Log(logger, 4, 1, u"%s", exact.c_str());
    Log(logger, 4, 1, u"%s", longer.c_str());
    EXPECT_EQ(logger.messages[0], exact);
    EXPECT_EQ(logger.messages[1], std::u16string(999, u'y'));
}

TEST(LogLevels, ACutMessageStillEndsItsLineProperly) {
    TempDir dir;
    vexlo::CLogger logger;
    logger.Open(dir.wide("log"));
    std::u16string longer(1200, u'z');
    Log(logger, 4, 2, u"%s", longer.c_str());
    std::string text = ReadFileBytes(dir.path() / "log");
    ASSERT_GE(text.size(), 3u);
    EXPECT_EQ(text.substr(text.size() - 3), " \r\n");
    EXPECT_EQ(Message(Lines(text).at(0)), std::string(999, 'z'));
}

}  // namespace
