# awk -v shape=NAME [-v ids=1] -f parse-shapes.awk > FILE: writes a document
# of about 20 MB of one shape for bench/parse.sh (which writes the patterns-like,
# entity and deep ones through ParseBench --write):
#   entity-rich     an internal DTD of general entities (one refers to another,
#                   one holds a character reference) referred to several times
#                   in each element's text and attributes, beside predefined
#                   and character references
#   attribute-heavy empty elements with twelve attributes each; with ids=1 the
#                   DTD declares the first an ID, so the peer keeps a table of
#                   them as the validation here would
#   small-nodes     many small elements, each with two children holding a few
#                   characters of text
BEGIN {
  target = 20 * 1024 * 1024
  size = 0
  out("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n")
  if (shape == "entity-rich") EntityRich()
  else if (shape == "attribute-heavy") AttributeHeavy()
  else if (shape == "small-nodes") SmallNodes()
  else { print "unknown shape " shape > "/dev/stderr"; exit 2 }
}

function out(s) {
  printf "%s", s
  size += length(s)
}

function EntityRich(  n) {
  out("<!DOCTYPE log [\n" \
      "  <!ENTITY prod \"Quorvanell\">\n" \
      "  <!ENTITY co \"the company that makes &prod;\">\n" \
      "  <!ENTITY warn \"Warning: the data is overwritten\">\n" \
      "  <!ENTITY lv \"3\">\n" \
      "  <!ENTITY sig \"-- checked --\">\n" \
      "  <!ENTITY nb \"&#160;\">\n" \
      "]>\n<log>\n")
  for (n = 0; size < target; ++n) {
    out("  <entry n=\"" n "\" level=\"&lv;\" source=\"&prod; &amp; &co;\" note=\"&#233;t&#xE9; &sig;\">" \
        "&warn; &prod; pass " n " of &co;: &lt;ok&gt; &sig;&#65;&nb;&lv;</entry>\n")
  }
  out("</log>\n")
}

function AttributeHeavy(  n) {
  if (ids) out("<!DOCTYPE records [\n  <!ATTLIST record id ID #REQUIRED>\n]>\n")
  out("<records>\n")
  for (n = 0; size < target; ++n) {
    out("<record id=\"r" n "\" kind=\"file\" path=\"C:\\Data\\" n % 97 "\\file" n ".dat\" size=\"" n * 37 \
        "\" attrs=\"32\" owner=\"user" n % 13 "\" group=\"staff\" mode=\"0644\" created=\"2024-01-0" n % 9 + 1 \
        "\" passes=\"3\" state=\"&quot;listed&quot;\" checked=\"yes\"/>\n")
  }
  out("</records>\n")
}

function SmallNodes(  n) {
  out("<items>\n")
  for (n = 0; size < target; ++n) {
    out("<i><n>x" n "</n><v>" n % 1000 "</v></i>\n")
  }
  out("</items>\n")
}
