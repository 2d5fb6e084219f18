#pragma once
// tXMLDocument: one XML document held by libxml2, addressed by slash-separated
// element paths ("metadata/metainfo/metc/metd", a step "*" matches any name).
//
// Path kinds:
//  - anywhere path: matched at any depth, like XPath "//" + path;
//  - rooted path: evaluated from the document node, the first step must match
//    the root element;
//  - building path (CreateNodePath): resolved one step at a time as an
//    absolute path, missing steps created.
// Offsets are 0-based positions among the matches, in document order.
// Reads of absent elements give empty results; misuse raises EInvalidXMLOp.
// Parsing never loads a DTD, never resolves external entities and never
// touches the network; white-space-only text between elements is dropped
// unless the document is loaded to keep its layout (see Layout).
// Texts and names are UTF-8. Texts written are made storable: bytes that are
// not UTF-8 are read as windows-1252, characters XML cannot hold become U+FFFD.
// An element or attribute name that XML does not allow raises EInvalidXMLOp.
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Errors.h"
#include "support/StringOps.h"

struct _xmlDoc;
struct _xmlNode;
struct _xmlAttr;
using tXMLNode = _xmlNode*;
using tXMLNodeList = std::vector<_xmlNode*>;

class EInvalidXMLOp : public Exception {
public:
    using Exception::Exception;
};

class tXMLDocument {
public:
    // How a loaded document is laid out when saved again.
    //  - Reindent: white space between elements is dropped on loading and
    //    the saved file is indented anew (what every reader expects).
    //  - Keep: the file is read with all its white space and written back
    //    as it was, so that a save changes only what was changed; elements
    //    added by CreateNodePath are indented like their siblings. Reads of
    //    elements whose first child is such white space see that text.
    //  - ReadOnly: read as Reindent, for looking things up only: short texts
    //    are kept in their nodes (fewer allocations, a quicker load), and
    //    every call that would change or save the document raises
    //    EInvalidXMLOp instead.
    enum class Layout { Reindent, Keep, ReadOnly };

    // A new, empty document: no declaration, no root element.
    tXMLDocument();
    // A document loaded from `fileName`; a load failure propagates (EInOutError).
    explicit tXMLDocument(const std::string& fileName, Layout layout = Layout::Reindent);
    ~tXMLDocument();
    tXMLDocument(const tXMLDocument&) = delete;
    tXMLDocument& operator=(const tXMLDocument&) = delete;

    std::string FileName;
    tXMLNode RootNode = nullptr;          // set by CreateRoot only
    std::string Version = "\"1.0\"";      // quotes are part of the value
    std::string Encoding = "\"UTF-8\"";
    std::string DocType;                  // written by WriteProlog as a comment

    // The underlying libxml2 document; owned by this object.
    _xmlDoc* DOMDocument() const { return m_doc; }

    // Parses FileName, replacing the content. Throws EInOutError
    // "An error occured while loading " + FileName. `onRead`, when set, is
    // called once the file's bytes are in, before they are parsed.
    void Load(const std::function<void()>& onRead = {});
    // Writes the whole document to FileName in the encoding it declares
    // (UTF-8 when none), indented unless loaded with Layout::Keep. The bytes
    // are made in memory first. A new file is written beside the target and
    // renamed over it, keeping its permissions; a symbolic link is written
    // through. Where the folder's permissions forbid a new file but the file
    // itself may be written (a shared file in a folder of another owner), the
    // file is rewritten in place: its room is reserved before the first byte
    // is written, then it is written, cut to length and flushed. A failed save
    // throws EInOutError "Cannot save <file>: <reason>" and leaves the old
    // file whole.
    void Save();
    void SaveAs(const std::string& fileName);
    // Appends the XML declaration (Version, Encoding) and, when DocType is not
    // empty, a comment holding it. Call on a new document before CreateRoot.
    void WriteProlog();
    // Creates the root element, stores it in RootNode and returns it.
    tXMLNode CreateRoot(const std::string& name);

    // Anywhere path, one trailing "/" dropped: the first match or nullptr.
    tXMLNode FindNode(std::string path) const;
    // Anywhere path, unchanged: all matches in document order.
    tXMLNodeList FindNodes(const std::string& path) const;
    // Text of FindNode's node: its own value for a text node, else its first
    // child's value when that child is text, else "". Not trimmed.
    std::string GetNodeText(const std::string& path) const;
    // As GetNodeText for the match at `offset` of FindNodes; "" past the end.
    std::string GetNodeTextAt(const std::string& path, unsigned offset) const;
    // The text GetNodeText reads from one node (nullptr gives "").
    static std::string NodeText(const _xmlNode* node);
    // CollectTexts of the rooted path's matches.
    tVectorOfString GetNodeTexts(const std::string& path) const;
    // Every text node below each node (depth first, entity references
    // descended), trimmed; comments, PIs and CDATA skipped.
    static tVectorOfString CollectTexts(const tXMLNodeList& nodes);

    // Sets the text of FindNode's node (first text child, or a new last text
    // child); a missing node is created by AddNodeWithText. Returns the node.
    tXMLNode SetNodeText(const std::string& path, const std::string& text);
    // Rooted path: ReplaceText on the match at `offset`, or appends elements
    // so that a new one stands at `offset` (then returns nullptr).
    tXMLNode SetNodeTextAt(const std::string& path, const std::string& text, unsigned offset);
    // Sets the text of the node at `offset` of `nodes`; see the messages below.
    tXMLNode ReplaceText(const tXMLNodeList& nodes, const std::string& text, unsigned offset);
    // Building path; with `appendLast` a new last element is always appended.
    // nullptr when the last step matched several elements (appendLast false).
    tXMLNode CreateNodePath(std::string path, bool appendLast);
    // Appends a text node to `element`; returns `element`.
    tXMLNode AppendText(tXMLNode element, const std::string& text);
    // CreateNodePath(path, true) then AppendText; returns the new element.
    tXMLNode AddNodeWithText(const std::string& path, const std::string& text);

    // Removes every direct text child, last to first; returns `element`.
    tXMLNode RemoveTextChildren(tXMLNode element);
    // Strips the text of the match(es) of the anywhere path; several matches
    // without `allowSeveral` raise and change nothing.
    void ClearNodeText(const std::string& path, bool allowSeveral);
    // Removes FindNode's node with its subtree; nothing when absent.
    void DeleteNode(const std::string& path);

    // The attribute `name` of `node` or nullptr; a null node raises
    // EInvalidOperation "Node not found in GetAttributeNode".
    _xmlAttr* GetAttributeNode(tXMLNode node, const std::string& name) const;
    // Creates the attribute when missing, then sets its value.
    void SetNodeAttribute(tXMLNode element, const std::string& name, const std::string& value);
    // SetNodeAttribute on FindNode's node; a missing node is created only
    // with `createIfMissing`.
    void SetAttribute(const std::string& path, const std::string& name, bool createIfMissing,
                      const std::string& value);

    static bool IsTextNode(const _xmlNode* node);

private:
    void reset();
    // Raises EInvalidXMLOp for a document loaded with Layout::ReadOnly.
    void requireChangeable() const;
    // Places a new element as `parent`'s last element child, indented like
    // the elements around it (Layout::Keep only).
    void placeIndented(_xmlNode* parent, _xmlNode* element);
    _xmlDoc* m_doc = nullptr;
    Layout m_layout = Layout::Reindent;
    bool m_declared = false;  // Save writes an XML declaration
};

// The document type text of the ESRI metadata profile; new metadata documents
// carry it as a comment after the XML declaration.
inline const std::string EsriMetadataDocType =
    "<!DOCTYPE metadata SYSTEM \"http://www.esri.com/metadata/esriprof80.dtd\">";

// The encoding to force when parsing the XML file `bytes`, or "" to trust the
// document. Files that declare ISO-8859-1 (or windows-1252) but hold valid
// UTF-8 give "UTF-8"; files that declare ISO-8859-1 and hold bytes
// 0x80-0x9F that windows-1252 defines give "windows-1252"; a UTF-8 byte-order
// mark in front of a declaration naming another encoding gives "UTF-8".
std::string EffectiveXmlEncoding(std::string_view bytes);

// The "Test &XML" command: builds the sample document and saves it as
// `fileName` (the command passes the bare "TestXML.xml").
void WriteTestXML(const std::string& fileName = "TestXML.xml");
