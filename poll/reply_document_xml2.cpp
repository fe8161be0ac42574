#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <mutex>

#include "base/exception.h"
#include "poll/reply_document.h"

namespace kestrion {

namespace {

struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
using XmlDocPtr = std::unique_ptr<xmlDoc, XmlDocFree>;

struct XmlCharFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
using XmlCharPtr = std::unique_ptr<xmlChar, XmlCharFree>;

std::string ToString(const xmlChar* text) {
  return text ? std::string(reinterpret_cast<const char*>(text)) : std::string();
}

// A reply is one small document from the network: nothing it names is ever fetched.
xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

// Errors libxml2 raises outside the parser context (a body that is not in its declared
// encoding, say) go to the generic error function, which prints to stderr by default and
// ignores XML_PARSE_NOERROR. The function is per thread; a parse silences it for its own
// duration and gives the caller's back.
void IgnoreXmlError(void*, const char*, ...) {}

class QuietXmlErrors {
 public:
  QuietXmlErrors() : function_(xmlGenericError), context_(xmlGenericErrorContext) {
    xmlSetGenericErrorFunc(nullptr, IgnoreXmlError);
  }
  ~QuietXmlErrors() { xmlSetGenericErrorFunc(context_, function_); }
  QuietXmlErrors(const QuietXmlErrors&) = delete;
  QuietXmlErrors& operator=(const QuietXmlErrors&) = delete;

 private:
  xmlGenericErrorFunc function_;
  void* context_;
};

void SetUpLibxml2() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    xmlSetExternalEntityLoader(RefuseExternalEntity);
  });
}

class Xml2ReplyDocument final : public ReplyDocument {
 public:
  explicit Xml2ReplyDocument(XmlDocPtr doc) : doc_(std::move(doc)) {}

  std::optional<std::string> RootAttribute(const std::string& name) const override {
    const xmlNode* root = xmlDocGetRootElement(doc_.get());
    // Only an attribute without a namespace counts, as "status" and "summa" are.
    const xmlAttr* attr =
        xmlHasNsProp(root, reinterpret_cast<const xmlChar*>(name.c_str()), nullptr);
    if (attr == nullptr) return std::nullopt;
    const XmlCharPtr value(xmlNodeGetContent(reinterpret_cast<const xmlNode*>(attr)));
    return ToString(value.get());
  }

  std::vector<Node> RootChildren() const override {
    std::vector<Node> nodes;
    const xmlNode* root = xmlDocGetRootElement(doc_.get());
    for (const xmlNode* child = root->children; child != nullptr; child = child->next) {
      switch (child->type) {
        case XML_TEXT_NODE:
          nodes.push_back({NodeKind::kText, ToString(child->content)});
          break;
        case XML_CDATA_SECTION_NODE:
          nodes.push_back({NodeKind::kCData, ToString(child->content)});
          break;
        case XML_ELEMENT_NODE:
          nodes.push_back({NodeKind::kElement, {}});
          break;
        default:
          nodes.push_back({NodeKind::kOther, {}});
          break;
      }
    }
    return nodes;
  }

 private:
  XmlDocPtr doc_;
};

}  // namespace

std::unique_ptr<ReplyDocument> ParseReplyDocument(const std::string& body) {
  SetUpLibxml2();
  if (body.size() > static_cast<std::size_t>(INT_MAX)) throw Exception("The reply is too long");
  // No DTD loading, no entity substitution, no network; errors are not printed.
  constexpr int kOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;
  const QuietXmlErrors quiet;
  const xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (ctxt == nullptr) throw Exception("Cannot create an XML parser");
  const std::unique_ptr<xmlParserCtxt, decltype(&xmlFreeParserCtxt)> ctxt_owner(ctxt,
                                                                                xmlFreeParserCtxt);
  XmlDocPtr doc(xmlCtxtReadMemory(ctxt, body.data(), static_cast<int>(body.size()), "reply.xml",
                                  nullptr, kOptions));
  if (!doc || !ctxt->wellFormed || xmlDocGetRootElement(doc.get()) == nullptr) {
    throw Exception("The reply is not a well-formed XML document");
  }
  // A balance reply has no document type declaration; one that brings any could only be
  // after entities or a DTD, which are never loaded, on any platform.
  if (doc->intSubset != nullptr || doc->extSubset != nullptr) {
    throw Exception("The reply declares a document type");
  }
  return std::make_unique<Xml2ReplyDocument>(std::move(doc));
}

}  // namespace kestrion
