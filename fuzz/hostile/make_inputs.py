#!/usr/bin/env python3
"""make_inputs.py FOLDER: writes the hostile inputs that the replay tests run
with a time bound (small inputs that once bought minutes of work or
gigabytes of memory) into FOLDER, one folder per fuzz target. CMake runs it
when it configures the replay tests."""
import os
import sys

here = sys.argv[1]


def write(target, name, data):
    folder = os.path.join(here, target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), 'wb') as f:
        f.write(data if isinstance(data, bytes) else data.encode('utf-8'))


def empty_chain(levels):
    dtd = "<!ENTITY e0 ''>"
    for i in range(1, levels + 1):
        dtd += "<!ENTITY e%d '%s'>" % (i, ("&e%d;" % (i - 1)) * 10)
    return dtd


# Entity references to empty entities, in content and in an attribute value.
chain = "<!DOCTYPE r [<!ELEMENT r (#PCDATA)><!ATTLIST r a CDATA #IMPLIED>" + empty_chain(7) + "]>"
write('Dtd_fuzz', 'empty-entity-chain-content.xml', chain + "<r>&e7;</r>")
write('Dtd_fuzz', 'empty-entity-chain-attribute.xml', chain + "<r a='&e7;'/>")
# An attribute default repeating a 100 KB entity, on a hundred elements.
write('Dtd_fuzz', 'default-repeats-large-entity.xml',
      "<!DOCTYPE r [<!ELEMENT r (c*)><!ELEMENT c EMPTY><!ENTITY big '" + 'b' * 100000 +
      "'><!ATTLIST c d CDATA '" + '&big;' * 1000 + "'>]><r>" + '<c/>' * 100 + "</r>")
# Ten thousand default attributes on one element.
write('Dtd_fuzz', 'many-default-attributes.xml',
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r " +
      ' '.join("a%d CDATA 'v'" % i for i in range(10000)) + ">]><r/>")
# Ten thousand enumeration tokens, and as many names in mixed content.
write('Dtd_fuzz', 'many-enumeration-tokens.xml',
      "<!DOCTYPE r [<!ELEMENT r EMPTY><!ATTLIST r a (" + '|'.join('t%d' % i for i in range(10000)) +
      ") 't1'>]><r/>")
write('Dtd_fuzz', 'many-mixed-names.xml',
      "<!DOCTYPE r [<!ELEMENT r (#PCDATA|" + '|'.join('n%d' % i for i in range(10000)) + ")*>]><r/>")
# A long sequence of optional particles, matched by a document using them all.
write('Dtd_fuzz', 'optional-sequence.xml',
      "<!DOCTYPE r [<!ELEMENT r (" + ','.join('a%d?' % i for i in range(4000)) + ")>" +
      ''.join('<!ELEMENT a%d EMPTY>' % i for i in range(0, 4000, 400)) + "]><r>" +
      ''.join('<a%d/>' % i for i in range(0, 4000, 400)) + "</r>")
# The same run at 100,000 particles, repeated: the document steps through
# the particles' followers 30,000 times.
write('Dtd_fuzz', 'optional-sequence-repeated.xml',
      "<!DOCTYPE r [<!ELEMENT r (" + ','.join('a%d?' % i for i in range(100000)) + ")*>]><r>" +
      '<a1/>' * 30000 + ''.join('<a%d/>' % i for i in range(0, 100000, 1000)) + "</r>")
# An entity value full of '%' without ';'.
write('Dtd_fuzz', 'percent-without-semicolon.xml', "<!DOCTYPE r [<!ENTITY x '" + '%' * 200000 + "'>]><r/>")

# XPath: the first byte picks the context (6: a flat document of 3,000
# elements, 7: the top of a 600-level-deep one), the rest is the expression.
def xpath(name, context, text):
    write('XPath_fuzz', name, bytes([context]) + text.encode('utf-8'))


xpath('following-of-every-element', 6, 'count(//*/following::*)')
xpath('nested-descendant-predicates', 7, '//*[.//*[.//*]]')
xpath('context-free-predicates', 6, 'count(//a[//a[//a[//a]]])')
xpath('every-element-against-all', 6, 'count(//*[. = //*])')
xpath('long-sum', 6, '1' + '+1' * 500000)
xpath('long-union', 6, '/f' + '|/f' * 1200)
xpath('translate-long-from', 6, "translate(string(/), '" + 'abcdefghij' * 20000 + "', '')")
xpath('periodic-search', 6, "contains(concat(string(/), '" + 'a' * 200000 + "'), '" + 'a' * 100000 + "b')")
# Under the length limit: flat chains of a 60,000-term sum, 40,000 unions
# and 20,000 "or"s (each counts once).
xpath('shorter-long-sum', 6, '1' + '+1' * 60000)
xpath('flat-union-chain', 6, 'count(/f' + '|/f/a' * 40000 + ')')
xpath('flat-or-chain', 6, 'false()' + ' or false()' * 20000 + ' or /f')
# Comparisons and booleans where the first node found answers.
xpath('first-match-comparisons', 7, "count(//*[.//*[.//*] = ''])")
xpath('first-match-booleans', 7, 'count(//*[boolean(.//*[.//*]) and not(.//* != 1)])')
# String-values built for every comparison, all of them paid for (found by
# fuzzing: seconds before they were).
xpath('string-values-compared-flat', 6, '(*//.)[b <1] | //*[//.< $n]')
xpath('string-values-compared-deep', 7, '(*//.)[b <1] | //*[//.< $n]')
# A sibling step with a plain position stops at its node.
xpath('first-following-sibling', 6, 'count(//*/following-sibling::a[1] | //*/preceding-sibling::b[2])')
xpath('flat-comparison-chain', 6, 'count(/f/a)' + ' = 1 != 2 < 3' * 10000)
