#include <msxml2.h>
#include <oleauto.h>
#include <windows.h>

#include <cstring>
#include <memory>

#include "base/exception.h"
#include "base/scoped_win.h"
#include "base/text_win.h"
#include "poll/reply_document.h"

namespace kestrion {

namespace {

// MSXML 6: it refuses a document type declaration by default, so a reply can neither load
// a DTD nor expand entities declared in one.
constexpr CLSID kDomDocument60 = {
    0x88d96a05, 0xf192, 0x11d4, {0xa6, 0x5f, 0x00, 0x40, 0x96, 0x32, 0x51, 0xe5}};
constexpr IID kIXMLDOMDocument2 = {
    0x2933bf95, 0x7b36, 0x11d2, {0xb2, 0x0e, 0x00, 0xc0, 0x4f, 0x98, 0x3e, 0x60}};

struct BstrFree {
  void operator()(BSTR text) const { SysFreeString(text); }
};
using BstrPtr = std::unique_ptr<OLECHAR, BstrFree>;

struct SafeArrayFree {
  void operator()(SAFEARRAY* array) const { SafeArrayDestroy(array); }
};

std::string FromBstr(BSTR text) {
  return text != nullptr ? WideToUtf8(std::wstring_view(text, SysStringLen(text))) : "";
}

// A node's value as it stands in the document; the `text` property would fold its blanks.
std::string ValueOf(IXMLDOMNode* node) {
  VARIANT value;
  VariantInit(&value);
  node->get_nodeValue(&value);
  std::string text = value.vt == VT_BSTR ? FromBstr(value.bstrVal) : "";
  VariantClear(&value);
  return text;
}

class MsxmlReplyDocument final : public ReplyDocument {
 public:
  MsxmlReplyDocument(std::unique_ptr<ComScope> com, ComPtr<IXMLDOMDocument2> doc,
                     ComPtr<IXMLDOMElement> root)
      : com_(std::move(com)), doc_(std::move(doc)), root_(std::move(root)) {}

  std::optional<std::string> RootAttribute(const std::string& name) const override {
    const BstrPtr bname(SysAllocString(Utf8ToWide(name).c_str()));
    IXMLDOMAttribute* raw = nullptr;
    if (root_->getAttributeNode(bname.get(), &raw) != S_OK || raw == nullptr) return std::nullopt;
    const ComPtr<IXMLDOMAttribute> attribute(raw);
    return ValueOf(attribute.get());
  }

  std::vector<Node> RootChildren() const override {
    std::vector<Node> nodes;
    IXMLDOMNodeList* raw_list = nullptr;
    if (FAILED(root_->get_childNodes(&raw_list)) || raw_list == nullptr) return nodes;
    const ComPtr<IXMLDOMNodeList> list(raw_list);
    long count = 0;
    list->get_length(&count);
    for (long i = 0; i < count; ++i) {
      IXMLDOMNode* raw = nullptr;
      if (FAILED(list->get_item(i, &raw)) || raw == nullptr) continue;
      const ComPtr<IXMLDOMNode> node(raw);
      DOMNodeType type = NODE_INVALID;
      node->get_nodeType(&type);
      switch (type) {
        case NODE_TEXT:
        case NODE_CDATA_SECTION:
          nodes.push_back(
              {type == NODE_TEXT ? NodeKind::kText : NodeKind::kCData, ValueOf(node.get())});
          break;
        case NODE_ELEMENT:
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
  std::unique_ptr<ComScope> com_;  // first made, last gone
  ComPtr<IXMLDOMDocument2> doc_;
  ComPtr<IXMLDOMElement> root_;
};

[[noreturn]] void NotAReply() { throw Exception("The reply is not a well-formed XML document"); }

}  // namespace

std::unique_ptr<ReplyDocument> ParseReplyDocument(const std::string& body) {
  auto com = std::make_unique<ComScope>();
  IXMLDOMDocument2* raw_doc = nullptr;
  if (FAILED(CoCreateInstance(kDomDocument60, nullptr, CLSCTX_INPROC_SERVER, kIXMLDOMDocument2,
                              reinterpret_cast<void**>(&raw_doc)))) {
    throw Exception("Cannot create the XML document");
  }
  ComPtr<IXMLDOMDocument2> doc(raw_doc);
  doc->put_async(VARIANT_FALSE);
  doc->put_validateOnParse(VARIANT_FALSE);
  doc->put_resolveExternals(VARIANT_FALSE);
  // Texts exactly as sent; blank text between tags is dropped by the reading rules, the same
  // on every platform.
  doc->put_preserveWhiteSpace(VARIANT_TRUE);

  // Loaded from the reply's bytes, so that the document's own declaration decides the
  // encoding.
  if (body.size() > 0x7FFFFFFF) NotAReply();
  SAFEARRAYBOUND bound{static_cast<ULONG>(body.size()), 0};
  const std::unique_ptr<SAFEARRAY, SafeArrayFree> bytes(SafeArrayCreate(VT_UI1, 1, &bound));
  if (!bytes) NotAReply();
  void* data = nullptr;
  if (SUCCEEDED(SafeArrayAccessData(bytes.get(), &data))) {
    if (!body.empty()) std::memcpy(data, body.data(), body.size());
    SafeArrayUnaccessData(bytes.get());
  }
  VARIANT source;
  VariantInit(&source);
  source.vt = VT_ARRAY | VT_UI1;
  source.parray = bytes.get();
  VARIANT_BOOL loaded = VARIANT_FALSE;
  if (doc->load(source, &loaded) != S_OK || loaded != VARIANT_TRUE) NotAReply();

  IXMLDOMDocumentType* raw_type = nullptr;
  if (doc->get_doctype(&raw_type) == S_OK && raw_type != nullptr) {
    raw_type->Release();
    NotAReply();
  }
  IXMLDOMElement* raw_root = nullptr;
  if (doc->get_documentElement(&raw_root) != S_OK || raw_root == nullptr) NotAReply();
  ComPtr<IXMLDOMElement> root(raw_root);
  return std::make_unique<MsxmlReplyDocument>(std::move(com), std::move(doc), std::move(root));
}

}  // namespace kestrion
