// The declared libraries are found, linked and usable in both builds: XML for the skin, JSON
// for the service's replies, inflate for HTTP bodies, PNG decoding for the images.
#include <gtest/gtest.h>
#include <json/reader.h>
#include <tinyxml.h>
#include <zlib.h>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

TEST(Dependencies, TinyXmlParsesAWindowAndItsAttributesInOrder) {
  TiXmlDocument doc;
  doc.Parse("<Window size=\"800,600\" caption=\"0,0,0,32\"><Button name=\"ok\"/></Window>");
  ASSERT_FALSE(doc.Error()) << doc.ErrorDesc();
  TiXmlElement* window = doc.RootElement();
  ASSERT_NE(window, nullptr);
  std::vector<std::string> names;
  for (TiXmlAttribute* a = window->FirstAttribute(); a; a = a->Next()) names.push_back(a->Name());
  EXPECT_EQ(names, (std::vector<std::string>{"size", "caption"}));
  ASSERT_NE(window->FirstChildElement("Button"), nullptr);
  EXPECT_STREQ(window->FirstChildElement("Button")->Attribute("name"), "ok");

  TiXmlDocument broken;
  broken.Parse("<Window><Button></Window>");
  EXPECT_TRUE(broken.Error());
}

TEST(Dependencies, JsonCppReadsALoginReply) {
  Json::Reader reader;
  Json::Value root;
  ASSERT_TRUE(reader.parse("{\"code\":200,\"data\":{\"ticket\":\"t1\"}} // reply", root, true));
  ASSERT_TRUE(root.isObject());
  EXPECT_EQ(root.get("code", 0).asInt(), 200);
  EXPECT_TRUE(root["data"].isMember("ticket"));
  EXPECT_FALSE(reader.parse("{\"code\":", root, true));
}

TEST(Dependencies, ZlibInflatesWhatItDeflated) {
  std::string text(5000, 'x');
  text += "end";
  uLongf packedSize = compressBound(static_cast<uLong>(text.size()));
  std::vector<Bytef> packed(packedSize);
  ASSERT_EQ(compress(packed.data(), &packedSize, reinterpret_cast<const Bytef*>(text.data()),
                     static_cast<uLong>(text.size())),
            Z_OK);
  z_stream stream;
  std::memset(&stream, 0, sizeof(stream));
  ASSERT_EQ(inflateInit2(&stream, 15 + 32), Z_OK);  // gzip or zlib header detected
  std::string out(text.size(), '\0');
  stream.next_in = packed.data();
  stream.avail_in = static_cast<uInt>(packedSize);
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  EXPECT_EQ(inflate(&stream, Z_FINISH), Z_STREAM_END);
  inflateEnd(&stream);
  EXPECT_EQ(out, text);
}

TEST(Dependencies, StbDecodesAPngFromMemoryToRgba) {
  // 2x1 pixels: opaque red, then blue at half alpha.
  static const unsigned char kPng[] = {
      0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52,
      0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00, 0x00, 0xf4, 0x22, 0x7f,
      0x8a, 0x00, 0x00, 0x00, 0x0e, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0xf8, 0xcf, 0xc0, 0x00,
      0x42, 0x0d, 0x00, 0x0f, 0x7a, 0x03, 0x7e, 0x77, 0xe9, 0x7f, 0x97, 0x00, 0x00, 0x00, 0x00, 0x49,
      0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};
  int w = 0, h = 0, channels = 0;
  unsigned char* pixels = stbi_load_from_memory(kPng, sizeof(kPng), &w, &h, &channels, 4);
  ASSERT_NE(pixels, nullptr) << stbi_failure_reason();
  EXPECT_EQ(w, 2);
  EXPECT_EQ(h, 1);
  const unsigned char expected[] = {255, 0, 0, 255, 0, 0, 255, 128};
  EXPECT_EQ(std::memcmp(pixels, expected, sizeof(expected)), 0);
  stbi_image_free(pixels);

  EXPECT_EQ(stbi_load_from_memory(kPng, 20, &w, &h, &channels, 4), nullptr);  // cut short
}

}  // namespace
