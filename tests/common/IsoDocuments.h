#pragma once
// Small metadata documents of the ISO standards, our own: one in ISO 19139
// (gmd/gco) and one in ISO 19115-3 (mdb/mri/cit/gex), with a title, an
// abstract, a purpose, theme and place keywords, an originator beside
// another point of contact, a publication date and a bounding box.
#include <string>

namespace isodocs {

inline std::string iso19139(const std::string& title = "Wetlands of the Camargue",
                            const std::string& box = "<gco:Decimal>4.1</gco:Decimal>|<gco:Decimal>4.9</gco:Decimal>|"
                                                     "<gco:Decimal>43.3</gco:Decimal>|<gco:Decimal>43.8</gco:Decimal>")
{
    std::string b[4];
    size_t from = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t bar = box.find('|', from);
        b[i] = box.substr(from, bar == std::string::npos ? std::string::npos : bar - from);
        from = bar + 1;
    }
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<gmd:MD_Metadata xmlns:gmd="http://www.isotc211.org/2005/gmd" xmlns:gco="http://www.isotc211.org/2005/gco"
    xmlns:gmx="http://www.isotc211.org/2005/gmx" xmlns:xlink="http://www.w3.org/1999/xlink">
  <gmd:fileIdentifier><gco:CharacterString>8f2c-camargue</gco:CharacterString></gmd:fileIdentifier>
  <gmd:language><gmd:LanguageCode codeList="http://www.loc.gov/standards/iso639-2/" codeListValue="eng">English</gmd:LanguageCode></gmd:language>
  <gmd:contact><gmd:CI_ResponsibleParty>
    <gmd:organisationName><gco:CharacterString>Metadata Desk</gco:CharacterString></gmd:organisationName>
    <gmd:role><gmd:CI_RoleCode codeList="#CI_RoleCode" codeListValue="pointOfContact"/></gmd:role>
  </gmd:CI_ResponsibleParty></gmd:contact>
  <gmd:dateStamp><gco:Date>2015-06-01</gco:Date></gmd:dateStamp>
  <gmd:identificationInfo>
    <gmd:MD_DataIdentification>
      <gmd:citation><gmd:CI_Citation>
        <gmd:title><gco:CharacterString>)" + title + R"(</gco:CharacterString></gmd:title>
        <gmd:date><gmd:CI_Date>
          <gmd:date><gco:Date>2013-01-20</gco:Date></gmd:date>
          <gmd:dateType><gmd:CI_DateTypeCode codeList="#CI_DateTypeCode" codeListValue="creation"/></gmd:dateType>
        </gmd:CI_Date></gmd:date>
        <gmd:date><gmd:CI_Date>
          <gmd:date><gco:DateTime>2014-03-02T10:00:00</gco:DateTime></gmd:date>
          <gmd:dateType><gmd:CI_DateTypeCode codeList="#CI_DateTypeCode" codeListValue="publication"/></gmd:dateType>
        </gmd:CI_Date></gmd:date>
        <gmd:citedResponsibleParty><gmd:CI_ResponsibleParty>
          <gmd:organisationName><gco:CharacterString>Tour du Valat</gco:CharacterString></gmd:organisationName>
          <gmd:role><gmd:CI_RoleCode codeList="#CI_RoleCode" codeListValue="originator"/></gmd:role>
        </gmd:CI_ResponsibleParty></gmd:citedResponsibleParty>
      </gmd:CI_Citation></gmd:citation>
      <gmd:abstract><gco:CharacterString>Marshes and lagoons mapped from aerial photographs.</gco:CharacterString></gmd:abstract>
      <gmd:purpose><gco:CharacterString>Conservation planning</gco:CharacterString></gmd:purpose>
      <gmd:pointOfContact><gmd:CI_ResponsibleParty>
        <gmd:organisationName><gco:CharacterString>Regional Park Office</gco:CharacterString></gmd:organisationName>
        <gmd:role><gmd:CI_RoleCode codeList="#CI_RoleCode" codeListValue="pointOfContact"/></gmd:role>
      </gmd:CI_ResponsibleParty></gmd:pointOfContact>
      <gmd:descriptiveKeywords><gmd:MD_Keywords>
        <gmd:keyword><gco:CharacterString>flamingos</gco:CharacterString></gmd:keyword>
        <gmd:keyword><gco:CharacterString>salt pans</gco:CharacterString></gmd:keyword>
        <gmd:type><gmd:MD_KeywordTypeCode codeList="#MD_KeywordTypeCode" codeListValue="theme"/></gmd:type>
      </gmd:MD_Keywords></gmd:descriptiveKeywords>
      <gmd:descriptiveKeywords><gmd:MD_Keywords>
        <gmd:keyword><gmx:Anchor xlink:href="http://example.org/places/provence">Provence</gmx:Anchor></gmd:keyword>
        <gmd:type><gmd:MD_KeywordTypeCode codeList="#MD_KeywordTypeCode" codeListValue="place"/></gmd:type>
      </gmd:MD_Keywords></gmd:descriptiveKeywords>
      <gmd:topicCategory><gmd:MD_TopicCategoryCode>inlandWaters</gmd:MD_TopicCategoryCode></gmd:topicCategory>
      <gmd:extent><gmd:EX_Extent>
        <gmd:description><gco:CharacterString>Rhone delta</gco:CharacterString></gmd:description>
        <gmd:geographicElement><gmd:EX_GeographicBoundingBox>
          <gmd:westBoundLongitude>)" + b[0] + R"(</gmd:westBoundLongitude>
          <gmd:eastBoundLongitude>)" + b[1] + R"(</gmd:eastBoundLongitude>
          <gmd:southBoundLatitude>)" + b[2] + R"(</gmd:southBoundLatitude>
          <gmd:northBoundLatitude>)" + b[3] + R"(</gmd:northBoundLatitude>
        </gmd:EX_GeographicBoundingBox></gmd:geographicElement>
      </gmd:EX_Extent></gmd:extent>
    </gmd:MD_DataIdentification>
  </gmd:identificationInfo>
  <gmd:distributionInfo><gmd:MD_Distribution><gmd:transferOptions><gmd:MD_DigitalTransferOptions>
    <gmd:onLine><gmd:CI_OnlineResource><gmd:linkage><gmd:URL>http://example.org/camargue.zip</gmd:URL></gmd:linkage></gmd:CI_OnlineResource></gmd:onLine>
  </gmd:MD_DigitalTransferOptions></gmd:transferOptions></gmd:MD_Distribution></gmd:distributionInfo>
</gmd:MD_Metadata>
)";
}

inline std::string iso19115part3()
{
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<mdb:MD_Metadata xmlns:mdb="http://standards.iso.org/iso/19115/-3/mdb/2.0"
    xmlns:mri="http://standards.iso.org/iso/19115/-3/mri/1.0" xmlns:cit="http://standards.iso.org/iso/19115/-3/cit/2.0"
    xmlns:gex="http://standards.iso.org/iso/19115/-3/gex/1.0" xmlns:gco="http://standards.iso.org/iso/19115/-3/gco/1.0"
    xmlns:mcc="http://standards.iso.org/iso/19115/-3/mcc/1.0">
  <mdb:dateInfo><cit:CI_Date>
    <cit:date><gco:DateTime>2020-11-05T08:00:00</gco:DateTime></cit:date>
    <cit:dateType><cit:CI_DateTypeCode codeList="#CI_DateTypeCode" codeListValue="creation"/></cit:dateType>
  </cit:CI_Date></mdb:dateInfo>
  <mdb:identificationInfo>
    <mri:MD_DataIdentification>
      <mri:citation><cit:CI_Citation>
        <cit:title><gco:CharacterString>Glaciers of the Bernese Oberland</gco:CharacterString></cit:title>
        <cit:date><cit:CI_Date>
          <cit:date><gco:Date>2019-09-30</gco:Date></cit:date>
          <cit:dateType><cit:CI_DateTypeCode codeList="#CI_DateTypeCode" codeListValue="publication"/></cit:dateType>
        </cit:CI_Date></cit:date>
        <cit:citedResponsibleParty><cit:CI_Responsibility>
          <cit:role><cit:CI_RoleCode codeList="#CI_RoleCode" codeListValue="originator"/></cit:role>
          <cit:party><cit:CI_Organisation><cit:name><gco:CharacterString>Glacier Monitoring Service</gco:CharacterString></cit:name></cit:CI_Organisation></cit:party>
        </cit:CI_Responsibility></cit:citedResponsibleParty>
      </cit:CI_Citation></mri:citation>
      <mri:abstract><gco:CharacterString>Outlines of ice bodies surveyed by satellite.</gco:CharacterString></mri:abstract>
      <mri:purpose><gco:CharacterString>Climate monitoring</gco:CharacterString></mri:purpose>
      <mri:extent><gex:EX_Extent>
        <gex:geographicElement><gex:EX_GeographicBoundingBox>
          <gex:westBoundLongitude><gco:Decimal>7.5</gco:Decimal></gex:westBoundLongitude>
          <gex:eastBoundLongitude><gco:Decimal>8.4</gco:Decimal></gex:eastBoundLongitude>
          <gex:southBoundLatitude><gco:Decimal>46.3</gco:Decimal></gex:southBoundLatitude>
          <gex:northBoundLatitude><gco:Decimal>46.7</gco:Decimal></gex:northBoundLatitude>
        </gex:EX_GeographicBoundingBox></gex:geographicElement>
      </gex:EX_Extent></mri:extent>
      <mri:descriptiveKeywords><mri:MD_Keywords>
        <mri:keyword><gco:CharacterString>moraines</gco:CharacterString></mri:keyword>
        <mri:type><mri:MD_KeywordTypeCode codeList="#MD_KeywordTypeCode" codeListValue="theme"/></mri:type>
      </mri:MD_Keywords></mri:descriptiveKeywords>
      <mri:descriptiveKeywords><mri:MD_Keywords>
        <mri:keyword><gco:CharacterString>Jungfrau</gco:CharacterString></mri:keyword>
        <mri:type><mri:MD_KeywordTypeCode codeList="#MD_KeywordTypeCode" codeListValue="place"/></mri:type>
      </mri:MD_Keywords></mri:descriptiveKeywords>
    </mri:MD_DataIdentification>
  </mdb:identificationInfo>
</mdb:MD_Metadata>
)";
}

} // namespace isodocs
