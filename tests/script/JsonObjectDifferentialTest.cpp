// Document reads compared with what Node.js computes for the same documents and the same read
// semantics. The expectations are checked in (differential/expected.txt, written by
// differential/generate.js); when node is installed, a second test checks they are current.

#include "script/JsonObject.h"

#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "util/Encoding.h"
#include "util/TextSearch.h"

using namespace velk;

namespace {

const std::string kFolder = std::string(VELK_SOURCE_DIR) + "/tests/script/differential";

std::string FromHex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
    return out;
}

// Node's UTF-8 answer in the form JsonObject gives it: code page 936.
Text Expect(const std::string& hex) {
    return Utf8ToAnsiText(FromHex(hex));
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? tab : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

std::string ReadAll(std::FILE* f) {
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out.append(buffer, n);
    return out;
}

TEST(JsonObjectDifferential, ReadsAgreeWithNode) {
    std::ifstream in(kFolder + "/expected.txt");
    ASSERT_TRUE(in) << "missing " << kFolder << "/expected.txt";
    std::unique_ptr<JsonObject> doc;
    std::string docText;
    int reads = 0;
    for (std::string line; std::getline(in, line);) {
        const auto f = Fields(line);
        if (f[0] == "D") {
            ASSERT_EQ(f.size(), 3u);
            docText = FromHex(f[1]);
            doc = std::make_unique<JsonObject>();
            ASSERT_TRUE(doc->Parse(Utf8ToAnsiText(docText))) << docText;
            EXPECT_EQ(doc->ToJson(), Expect(f[2])) << docText;
            continue;
        }
        ASSERT_EQ(f.size(), 7u) << line;
        ASSERT_TRUE(doc);
        const Text path = FromHex(f[1]);
        SCOPED_TRACE(docText + "  path: " + path);
        EXPECT_EQ(doc->GetType(path), std::stoi(f[2]));
        EXPECT_EQ(doc->GetLength(path), std::stoi(f[3]));
        EXPECT_EQ(doc->GetText(path), Expect(f[4]));
        EXPECT_EQ(doc->GetText(path, true), Expect(f[5]));
        TextArray keys;
        const std::int32_t count = doc->GetKeys(keys, path);
        TextArray expectedKeys;
        if (f[6] != "-")
            for (const auto& k : SplitText(f[6], ","))
                expectedKeys.push_back(Expect(k));
        EXPECT_EQ(keys, expectedKeys);
        EXPECT_EQ(count, static_cast<std::int32_t>(expectedKeys.size()));
        ++reads;
    }
    EXPECT_GT(reads, 0);
}

// Where this engine and Node give different answers; kept out of the corpus above.
TEST(JsonObjectDifferential, KnownDifferencesFromNode) {
    JsonObject doc;
    ASSERT_TRUE(doc.Parse(R"({"big":9007199254740993,"ls":"a\u2028b\u2029c"})"));
    // The engine's number reader rounds 2^53 + 1 up; Node (and IEEE round-half-even) gives
    // 9007199254740992. Whole numbers up to 2^53 read exactly.
    EXPECT_EQ(doc.GetText("big"), "9007199254740994");
    // The engine's JSON.stringify escapes the line and paragraph separators; Node writes them
    // as they are (which code page 936 then turns into "?").
    EXPECT_EQ(doc.GetText("ls", true), R"("a\u2028b\u2029c")");
    EXPECT_EQ(doc.GetText("ls"), "a?b?c");
}

TEST(JsonObjectDifferential, ExpectationsAreCurrent) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> node(
        popen(("cd '" + kFolder + "' && node generate.js 2>/dev/null").c_str(), "r"), pclose);
    ASSERT_TRUE(node);
    const std::string generated = ReadAll(node.get());
    if (pclose(node.release()) != 0 || generated.empty())
        GTEST_SKIP() << "node is not available";
    std::ifstream in(kFolder + "/expected.txt", std::ios::binary);
    std::stringstream stored;
    stored << in.rdbuf();
    EXPECT_EQ(generated, stored.str()) << "run node generate.js > expected.txt in " << kFolder;
}

} // namespace
