// The XML library's components as the form definitions know them: the main
// form owns a DOM implementation and a parser linked to it.
#include "win/ClassInfo.h"
#include "xml/DomImplementation.h"
#include "xml/XmlToDomParser.h"

namespace {

const TEnumNames kAutoPrepareNames = {"AP_NO", "AP_INTERNAL_DECLARATIONS", "AP_COMPLETE"};

const TClassRegistrar<TDomImplementation, TComponent> kDomImplementationRegistrar("TDomImplementation", {
    ComponentProp("ResourceResolver", &TDomImplementation::GetResourceResolver,
                  &TDomImplementation::SetResourceResolver),
    Prop("TabWidth", &TDomImplementation::GetTabWidth, &TDomImplementation::SetTabWidth),
    EventProp("OnAttrModified", &TDomImplementation::OnAttrModified),
    EventProp("OnCharacterDataModified", &TDomImplementation::OnCharacterDataModified),
    EventProp("OnError", &TDomImplementation::OnError),
    EventProp("OnNodeClearing", &TDomImplementation::OnNodeClearing),
    EventProp("OnNodeInserted", &TDomImplementation::OnNodeInserted),
    EventProp("OnNodeRemoving", &TDomImplementation::OnNodeRemoving),
    EventProp("OnRequestXPathFunctionResult", &TDomImplementation::OnRequestXPathFunctionResult),
    EventProp("OnRequestXPathVariable", &TDomImplementation::OnRequestXPathVariable),
});

const TClassRegistrar<TXmlToDomParser, TComponent> kXmlToDomParserRegistrar("TXmlToDomParser", {
    ComponentProp<TXmlToDomParser, TDomImplementation, TDomImplementation*>("DOMImpl", &TXmlToDomParser::DOMImpl,
                                                                         &TXmlToDomParser::SetDOMImpl),
    Prop("BufferSize", &TXmlToDomParser::BufferSize, &TXmlToDomParser::SetBufferSize),
    EnumProp("AutoPrepare", &TXmlToDomParser::AutoPrepare, &TXmlToDomParser::SetAutoPrepare, kAutoPrepareNames),
    Prop("KeepCDATASections", &TXmlToDomParser::KeepCDATASections, &TXmlToDomParser::SetKeepCDATASections),
    Prop("KeepComments", &TXmlToDomParser::KeepComments, &TXmlToDomParser::SetKeepComments),
    Prop("KeepEntityRefs", &TXmlToDomParser::KeepEntityRefs, &TXmlToDomParser::SetKeepEntityRefs),
});

}  // namespace
