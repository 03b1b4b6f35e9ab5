#include <windows.h>

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace {

using vexlo::test::ReadFileBytes;
using vexlo::test::TempDir;
using vexlo::test::WriteFileBytes;

HANDLE Open(const std::u16string& path, DWORD access, DWORD share, DWORD disposition) {
    return CreateFileW(path.c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
}

TEST(Files, CreateAlwaysEmptiesAnExistingFileAndSaysItExisted) {
    TempDir dir;
    WriteFileBytes(dir.native("a.txt"), "old content");
    HANDLE file = Open(dir.wide("a.txt"), GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file, "new", 3, &written, nullptr));
    EXPECT_EQ(written, 3u);
    EXPECT_EQ(GetFileSize(file, nullptr), 3u);
    CloseHandle(file);
    EXPECT_EQ(ReadFileBytes(dir.native("a.txt")), "new");
}

TEST(Files, OpenExistingOfAMissingFileFails) {
    TempDir dir;
    EXPECT_EQ(Open(dir.wide("missing"), GENERIC_READ, 0, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(Open(dir.wide("no/such/folder/x"), GENERIC_WRITE, 0, CREATE_ALWAYS),
              INVALID_HANDLE_VALUE);
}

TEST(Files, ReadingInSmallPiecesEndsWithZeroBytes) {
    TempDir dir;
    WriteFileBytes(dir.native("data"), std::string(2500, 'x'));
    HANDLE file = Open(dir.wide("data"), GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    char buffer[1024];
    DWORD got = 0, total = 0;
    int reads = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &got, nullptr) && got > 0) {
        total += got;
        ++reads;
    }
    EXPECT_EQ(total, 2500u);
    EXPECT_EQ(reads, 3);
    CloseHandle(file);
}

TEST(Files, OthersMayReadButNobodyElseMayWrite) {
    TempDir dir;
    HANDLE log = Open(dir.wide("log"), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(log, "line\r\n", 6, &written, nullptr);

    HANDLE reader =
        Open(dir.wide("log"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE);
    HANDLE writer =
        Open(dir.wide("log"), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    // A reader that does not share writing conflicts with the open writer too.
    EXPECT_EQ(Open(dir.wide("log"), GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING),
              INVALID_HANDLE_VALUE);
    // A denied CREATE_ALWAYS leaves the other opener's data alone.
    EXPECT_EQ(Open(dir.wide("log"), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS),
              INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadFileBytes(dir.native("log")), "line\r\n");

    CloseHandle(reader);
    CloseHandle(log);
    HANDLE again = Open(dir.wide("log"), GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_NE(again, INVALID_HANDLE_VALUE);
    CloseHandle(again);
}

TEST(Files, ShareModesHoldAcrossProcesses) {
    TempDir dir;
    HANDLE log = Open(dir.wide("log"), GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
    ASSERT_NE(log, INVALID_HANDLE_VALUE);
    pid_t child = fork();
    if (child == 0) {
        HANDLE writer =
            Open(dir.wide("log"), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        HANDLE reader =
            Open(dir.wide("log"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
        _exit(writer == INVALID_HANDLE_VALUE && reader != INVALID_HANDLE_VALUE ? 0 : 1);
    }
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    CloseHandle(log);
}

TEST(Files, DeleteAndFolders) {
    TempDir dir;
    EXPECT_TRUE(CreateDirectoryW(dir.wide("sub").c_str(), nullptr));
    EXPECT_FALSE(CreateDirectoryW(dir.wide("sub").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    EXPECT_FALSE(CreateDirectoryW(dir.wide("a/b").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(GetFileAttributesW(dir.wide("sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
              static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));

    WriteFileBytes(dir.native("sub/f"), "x");
    EXPECT_TRUE(DeleteFileW(dir.wide("sub/f").c_str()));
    EXPECT_FALSE(DeleteFileW(dir.wide("sub/f").c_str()));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(DeleteFileW(dir.wide("sub").c_str()));  // folders are not files
}

// Every name a search finds, in its order, and the error that ended it.
std::vector<std::u16string> FindAll(const std::u16string& pattern, DWORD* error) {
    std::vector<std::u16string> names;
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return names;
    }
    do {
        names.push_back(found.cFileName);
    } while (FindNextFileW(search, &found));
    *error = GetLastError();
    EXPECT_TRUE(FindClose(search));
    return names;
}

TEST(Files, FindListsAFolderWithItsDotsAndMatchesWildcardsWithoutCase) {
    TempDir dir;
    WriteFileBytes(dir.native("Page1.PNG"), "12345");
    WriteFileBytes(dir.native("page2.png"), "");
    WriteFileBytes(dir.native("note.txt"), "");
    CreateDirectoryW(dir.wide("sub").c_str(), nullptr);
    struct Case {
        const char* pattern;
        DWORD error;
        std::vector<std::u16string> names;  // sorted, dots first
    };
    for (const Case& c : {
             Case{"*",
                  ERROR_NO_MORE_FILES,
                  {u".", u"..", u"Page1.PNG", u"note.txt", u"page2.png", u"sub"}},
             Case{"*.png", ERROR_NO_MORE_FILES, {u"Page1.PNG", u"page2.png"}},
             Case{"PAGE?.png", ERROR_NO_MORE_FILES, {u"Page1.PNG", u"page2.png"}},
             Case{"note.txt", ERROR_NO_MORE_FILES, {u"note.txt"}},
             Case{"*.bmp", ERROR_FILE_NOT_FOUND, {}},
             Case{"missing/*", ERROR_PATH_NOT_FOUND, {}},
         }) {
        DWORD error = 0;
        std::vector<std::u16string> names = FindAll(dir.wide(c.pattern), &error);
        bool dotsFirst = names.size() >= 2 && names[0] == u"." && names[1] == u"..";
        std::sort(names.begin() + (dotsFirst ? 2 : 0), names.end());
        EXPECT_EQ(names, c.names) << c.pattern;
        EXPECT_EQ(error, c.error) << c.pattern;
    }

    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(dir.wide("Page1.PNG").c_str(), &found);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(found.nFileSizeLow, 5u);
    EXPECT_EQ(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, 0u);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    EXPECT_LE(CompareFileTime(&found.ftLastWriteTime, &now), 0);
    EXPECT_GT(found.ftLastWriteTime.dwHighDateTime, 0x01D00000u) << "a time after 2014";
    EXPECT_TRUE(FindClose(search));
    EXPECT_FALSE(FindClose(search));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
    EXPECT_FALSE(FindNextFileW(search, &found));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

TEST(Files, WideFopenTakesMicrosoftModes) {
    TempDir dir;
    FILE* out = _wfopen(dir.wide("page.png").c_str(), u"wb");
    ASSERT_NE(out, nullptr);
    fputs("PNG", out);
    fclose(out);
    FILE* in = _wfopen(dir.wide("page.png").c_str(), u"rt, ccs=UTF-8");
    ASSERT_NE(in, nullptr);
    char buffer[8] = {};
    EXPECT_EQ(fread(buffer, 1, sizeof(buffer), in), 3u);
    fclose(in);
    EXPECT_EQ(_wfopen(dir.wide("missing").c_str(), u"rb"), nullptr);
}

TEST(Files, NonAsciiNamesReachTheFileSystemInTheAnsiCodePage) {
    TempDir dir;
    std::u16string name = dir.wide() + u"/Скан.bmp";
    HANDLE file = Open(name, GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
    EXPECT_TRUE(std::filesystem::exists(dir.path() / "Скан.bmp"));
}

}  // namespace
