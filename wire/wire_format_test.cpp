#include "wire/wire_format.h"

#include <gtest/gtest.h>

namespace zorvik {
namespace {

TEST(WireRequest, UnderstandsEachMethodAndEchoesAnyId) {
  struct Case {
    const char* line;
    WireMethod method;
    Json id;
    std::string config;
  };
  const Case cases[] = {
      {R"({"id":1,"method":"getVersion"})", WireMethod::getVersion, 1, ""},
      {R"({"id":"a","method":"startTunnel","config":"[Interface]\n"})", WireMethod::startTunnel,
       "a", "[Interface]\n"},
      {R"({"id":null,"method":"startTunnel","config":null})", WireMethod::startTunnel, nullptr, ""},
      {R"({"method":"startTunnel","id":[1,{"b":2,"a":1}]})", WireMethod::startTunnel,
       Json::parse(R"([1,{"b":2,"a":1}])"), ""},
      {R"({"id":3,"method":"stopTunnel","config":5})", WireMethod::stopTunnel, 3, ""},
      {" {\"id\":4.5,\"method\":\"status\"}\r", WireMethod::status, 4.5, ""},
  };
  for (const auto& c : cases) {
    const ParsedRequestLine parsed = parseRequestLine(c.line);
    ASSERT_TRUE(parsed.request) << c.line << ": " << parsed.problem;
    EXPECT_EQ(parsed.request->method, c.method) << c.line;
    EXPECT_EQ(parsed.request->id, c.id) << c.line;
    EXPECT_EQ(parsed.request->config, c.config) << c.line;
  }
}

TEST(WireRequest, NamesWhatIsWrongWithABadLine) {
  struct Case {
    const char* line;
    const char* reply;
  };
  const Case cases[] = {
      {"{not json", R"({"id":null,"error":"bad request: not valid JSON"})"},
      {"", R"({"id":null,"error":"bad request: not valid JSON"})"},
      {"[1,2]", R"({"id":null,"error":"bad request: not a JSON object"})"},
      {R"({"method":"status"})", R"({"id":null,"error":"bad request: missing id"})"},
      {R"({"id":7})", R"({"id":7,"error":"bad request: missing method"})"},
      {R"({"id":7,"method":3})", R"({"id":7,"error":"bad request: missing method"})"},
      {R"({"id":{"x":1},"method":"reboot"})",
       R"({"id":{"x":1},"error":"bad request: unknown method \"reboot\""})"},
      {R"({"id":8,"method":"startTunnel","config":42})",
       R"({"id":8,"error":"bad request: config must be a string"})"},
      {R"({"id":9,"method":"startTunnel","config":"\xff"})",
       R"({"id":null,"error":"bad request: not valid JSON"})"},
  };
  for (const auto& c : cases) {
    const ParsedRequestLine parsed = parseRequestLine(c.line);
    ASSERT_FALSE(parsed.request) << c.line;
    EXPECT_EQ(badRequestLine(parsed.id, parsed.problem), std::string(c.reply) + "\n") << c.line;
  }
}

TEST(WireReply, LinesHaveTheDocumentedShape) {
  EXPECT_EQ(versionReplyLine(1, "1"), "{\"id\":1,\"version\":\"1\"}\n");
  EXPECT_EQ(resultReplyLine(2, true, std::nullopt), "{\"id\":2,\"ok\":true,\"error\":null}\n");
  EXPECT_EQ(resultReplyLine("x", false, "нет [Interface]"),
            "{\"id\":\"x\",\"ok\":false,\"error\":\"нет [Interface]\"}\n");
  EXPECT_EQ(statusReplyLine(4, true, 123, 18446744073709551615ull, 17),
            "{\"id\":4,\"active\":true,\"rx\":123,\"tx\":18446744073709551615,"
            "\"handshakeAge\":17}\n");
  EXPECT_EQ(statusReplyLine(5, false, 0, 0, std::nullopt),
            "{\"id\":5,\"active\":false,\"rx\":0,\"tx\":0,\"handshakeAge\":null}\n");
}

TEST(WireReply, InvalidUtf8InAnErrorTextIsReplacedNotThrown) {
  const std::string line = resultReplyLine(1, false, std::string("bad \xff byte"));
  EXPECT_EQ(line, "{\"id\":1,\"ok\":false,\"error\":\"bad \xEF\xBF\xBD byte\"}\n");
}

}  // namespace
}  // namespace zorvik

namespace zorvik {
namespace {

// A line within the 1 MiB limit can nest half a million levels deep; copying or
// writing such an id back must not run the connection's thread out of stack.
TEST(WireRequest, DeeplyNestedLineIsRefusedWithoutEchoingIt) {
  const std::size_t depth = 400000;
  const std::string id = std::string(depth, '[') + std::string(depth, ']');
  for (const std::string& line :
       {R"({"method":"getVersion","id":)" + id + "}", R"({"id":)" + id + "}", "[" + id + "]"}) {
    const ParsedRequestLine parsed = parseRequestLine(line);
    EXPECT_FALSE(parsed.request);
    EXPECT_EQ(badRequestLine(parsed.id, parsed.problem),
              R"({"id":null,"error":"bad request: nested too deeply"})"
              "\n");
  }
}

TEST(WireRequest, ModestNestingIsStillAnId) {
  const std::string id = std::string(32, '[') + "7" + std::string(32, ']');
  const ParsedRequestLine parsed = parseRequestLine(R"({"id":)" + id + R"(,"method":"status"})");
  ASSERT_TRUE(parsed.request) << parsed.problem;
  EXPECT_EQ(jsonLine(parsed.request->id), id);
}

TEST(WireRequest, BracketsInsideStringsDoNotCountAsNesting) {
  const std::string config = std::string(100000, '[') + "\\\"" + std::string(100000, '{');
  const ParsedRequestLine parsed =
      parseRequestLine(R"({"id":1,"method":"startTunnel","config":")" + config + "\"}");
  ASSERT_TRUE(parsed.request) << parsed.problem;
  EXPECT_EQ(parsed.request->config.size(), 200001u);
}

}  // namespace
}  // namespace zorvik
