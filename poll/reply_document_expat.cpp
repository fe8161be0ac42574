#include <expat.h>
#include <iconv.h>
#include <strings.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <utility>

#include "base/exception.h"
#include "base/text_codec.h"
#include "poll/reply_document.h"

namespace kestrion {

namespace {

// The reply as the reading rules see it: the root's attributes and its children, nothing else
// of the document.
class ExpatReplyDocument final : public ReplyDocument {
 public:
  std::optional<std::string> RootAttribute(const std::string& name) const override {
    // The name as it stands: "x:status" is another attribute, as a namespaced one is to a DOM.
    for (const auto& [attribute, value] : attributes_) {
      if (attribute == name) return value;
    }
    return std::nullopt;
  }

  std::vector<Node> RootChildren() const override { return children_; }

 private:
  friend class ReplyReader;
  std::vector<std::pair<std::string, std::string>> attributes_;
  std::vector<Node> children_;
};

// One parse with expat's stream of events, kept to the root and its direct children. Text
// that the parser hands over in pieces (around an entity or character reference, at a line
// end) is one text node, as in a DOM; every CDATA section is a node of its own.
class ReplyReader {
 public:
  ReplyReader() : parser_(XML_ParserCreate(nullptr)) {
    if (parser_ == nullptr) throw Exception("Cannot create an XML parser");
    XML_SetUserData(parser_, this);
    XML_SetElementHandler(parser_, OnStart, OnEnd);
    XML_SetCharacterDataHandler(parser_, OnText);
    XML_SetCdataSectionHandler(parser_, OnCdataStart, OnCdataEnd);
    XML_SetCommentHandler(parser_, OnComment);
    XML_SetProcessingInstructionHandler(parser_, OnInstruction);
    // A balance reply has no document type declaration; one that brings any could only be
    // after entities or a DTD, which are never loaded, on any platform. Refused as it starts,
    // before a single entity is declared.
    XML_SetStartDoctypeDeclHandler(parser_, OnDoctype);
    XML_SetParamEntityParsing(parser_, XML_PARAM_ENTITY_PARSING_NEVER);
    XML_SetUnknownEncodingHandler(parser_, OnUnknownEncoding, nullptr);
  }
  ~ReplyReader() { XML_ParserFree(parser_); }
  ReplyReader(const ReplyReader&) = delete;
  ReplyReader& operator=(const ReplyReader&) = delete;

  std::unique_ptr<ReplyDocument> Read(const std::string& body) {
    if (body.size() > static_cast<std::size_t>(INT_MAX)) throw Exception("The reply is too long");
    const XML_Status status =
        XML_Parse(parser_, body.data(), static_cast<int>(body.size()), XML_TRUE);
    if (doctype_) throw Exception("The reply declares a document type");
    if (status != XML_STATUS_OK || !root_seen_) {
      throw Exception("The reply is not a well-formed XML document");
    }
    return std::move(document_);
  }

 private:
  static ReplyReader& Of(void* data) { return *static_cast<ReplyReader*>(data); }

  void Add(ReplyDocument::NodeKind kind) {
    if (depth_ == 1) document_->children_.push_back({kind, {}});
  }

  static void XMLCALL OnStart(void* data, const XML_Char* name, const XML_Char** attributes) {
    (void)name;
    ReplyReader& reader = Of(data);
    if (reader.depth_ == 0) {
      reader.root_seen_ = true;
      for (const XML_Char** a = attributes; *a != nullptr; a += 2) {
        reader.document_->attributes_.emplace_back(a[0], a[1]);
      }
    }
    reader.Add(ReplyDocument::NodeKind::kElement);
    ++reader.depth_;
  }

  static void XMLCALL OnEnd(void* data, const XML_Char*) { --Of(data).depth_; }

  static void XMLCALL OnText(void* data, const XML_Char* text, int length) {
    ReplyReader& reader = Of(data);
    if (reader.depth_ != 1) return;
    auto& children = reader.document_->children_;
    const auto kind =
        reader.in_cdata_ ? ReplyDocument::NodeKind::kCData : ReplyDocument::NodeKind::kText;
    // A CDATA section's node is made as it opens; text joins the text just before it.
    if (children.empty() || children.back().kind != kind) children.push_back({kind, {}});
    children.back().value.append(text, static_cast<std::size_t>(length));
  }

  static void XMLCALL OnCdataStart(void* data) {
    ReplyReader& reader = Of(data);
    reader.Add(ReplyDocument::NodeKind::kCData);
    reader.in_cdata_ = true;
  }

  static void XMLCALL OnCdataEnd(void* data) { Of(data).in_cdata_ = false; }

  static void XMLCALL OnComment(void* data, const XML_Char*) {
    Of(data).Add(ReplyDocument::NodeKind::kOther);
  }

  static void XMLCALL OnInstruction(void* data, const XML_Char*, const XML_Char*) {
    Of(data).Add(ReplyDocument::NodeKind::kOther);
  }

  static void XMLCALL OnDoctype(void* data, const XML_Char*, const XML_Char*, const XML_Char*,
                                int) {
    ReplyReader& reader = Of(data);
    reader.doctype_ = true;
    XML_StopParser(reader.parser_, XML_FALSE);
  }

  // Encodings expat does not know itself (it knows UTF-8, UTF-16, ISO-8859-1 and US-ASCII):
  // windows-1251, the billing server's, from the program's own table; any other single-byte
  // one the C library's converter knows (KOI8-R, say), byte by byte. A multi-byte one is
  // refused.
  static int XMLCALL OnUnknownEncoding(void*, const XML_Char* name, XML_Encoding* info) {
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    if (strcasecmp(name, "windows-1251") == 0 || strcasecmp(name, "cp1251") == 0) {
      for (int byte = 0; byte < 256; ++byte) {
        info->map[byte] = static_cast<int>(Cp1251CodePoint(static_cast<unsigned char>(byte)));
      }
      return XML_STATUS_OK;
    }
    const iconv_t converter = iconv_open("UTF-32LE", name);
    if (converter == reinterpret_cast<iconv_t>(-1)) return XML_STATUS_ERROR;
    bool single_byte = true;
    for (int byte = 0; byte < 256 && single_byte; ++byte) {
      iconv(converter, nullptr, nullptr, nullptr, nullptr);
      char in = static_cast<char>(byte);
      unsigned char out[8] = {};
      char* in_at = &in;
      char* out_at = reinterpret_cast<char*>(out);
      std::size_t in_left = 1;
      std::size_t out_left = sizeof out;
      const std::size_t done = iconv(converter, &in_at, &in_left, &out_at, &out_left);
      if (done == static_cast<std::size_t>(-1) && errno == EINVAL) single_byte = false;
      info->map[byte] = done == static_cast<std::size_t>(-1) || out_left != 4
                            ? -1  // a byte the encoding does not have
                            : static_cast<int>(out[0] | out[1] << 8 | out[2] << 16 |
                                               static_cast<std::uint32_t>(out[3]) << 24);
    }
    iconv_close(converter);
    return single_byte ? XML_STATUS_OK : XML_STATUS_ERROR;
  }

  XML_Parser parser_;
  std::unique_ptr<ExpatReplyDocument> document_ = std::make_unique<ExpatReplyDocument>();
  int depth_ = 0;
  bool root_seen_ = false;
  bool in_cdata_ = false;
  bool doctype_ = false;
};

}  // namespace

std::unique_ptr<ReplyDocument> ParseReplyDocument(const std::string& body) {
  return ReplyReader().Read(body);
}

}  // namespace kestrion
