<?xml version="1.0" encoding="UTF-8"?>
<!--
  Atlasdesk Full: the whole metadata document of a data set as one page.

  Reads ESRI-profile (FGDC CSDGM) documents of the ArcGIS 8 and 9 era
  (idinfo, spdoinfo, spref, eainfo, distinfo, metainfo, Esri) and ArcGIS 10
  style documents (dataIdInfo, refSysInfo, distInfo, dqInfo, mdContact ...);
  where a document holds both, the ArcGIS 10 element wins, except for the
  title: the ESRI-profile title when it is not blank, as the catalogue takes
  it. The thumbnail is the picture that the viewer adds as
  Binary/Thumbnail/img/@src.

  Documents of ISO 19139 and ISO 19115-3 get a page of their own (the ISO
  part at the end, the same in both shipped stylesheets).

  Plain XSLT 1.0 without extensions; the page needs nothing from outside.
-->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform">

<xsl:output method="html" encoding="UTF-8" indent="no" doctype-system="about:legacy-compat"/>
<xsl:strip-space elements="*"/>

<xsl:variable name="iso-detail" select="true()"/>

<!-- ===== Where things are ===================================================== -->

<xsl:variable name="root" select="/*[1]"/>
<xsl:variable name="idinfo" select="$root/idinfo"/>
<xsl:variable name="cite" select="$root/idinfo/citation/citeinfo"/>
<xsl:variable name="dii" select="$root/dataIdInfo"/>
<xsl:variable name="icite" select="$root/dataIdInfo/idCitation"/>
<xsl:variable name="thumbnail" select="$root/Binary/Thumbnail/img/@src[normalize-space()]"/>

<xsl:variable name="title">
  <xsl:call-template name="pick">
    <xsl:with-param name="a" select="$cite/title"/>
    <xsl:with-param name="b" select="$icite/resTitle"/>
    <xsl:with-param name="c" select="$root/Esri/DataProperties/itemProps/itemName"/>
  </xsl:call-template>
</xsl:variable>

<xsl:variable name="abstract"
  select="($dii/idAbs[normalize-space()])[1] | ($idinfo/descript/abstract[normalize-space()])[1][not($dii/idAbs[normalize-space()])]"/>
<xsl:variable name="purpose"
  select="($dii/idPurp[normalize-space()])[1] | ($idinfo/descript/purpose[normalize-space()])[1][not($dii/idPurp[normalize-space()])]"/>
<xsl:variable name="supplinf"
  select="($dii/suppInfo[normalize-space()])[1] | ($idinfo/descript/supplinf[normalize-space()])[1][not($dii/suppInfo[normalize-space()])]"/>
<xsl:variable name="credit"
  select="($dii/idCredit[normalize-space()])[1] | ($idinfo/datacred[normalize-space()])[1][not($dii/idCredit[normalize-space()])]"/>

<xsl:variable name="boxes" select="$idinfo/spdom/bounding | $dii/dataExt/geoEle/GeoBndBox"/>

<xsl:variable name="hasDescription" select="$abstract or $purpose or $supplinf or $credit or $cite or $icite"/>
<xsl:variable name="hasKeywords"
  select="$idinfo/keywords/*/*[normalize-space()] or $dii/*[self::themeKeys or self::placeKeys or self::tempKeys or self::stratKeys or self::discKeys or self::searchKeys]/keyword[normalize-space()] or $dii/tpCat/TopicCatCd"/>
<xsl:variable name="hasTime"
  select="$idinfo/timeperd//*[normalize-space()] or $idinfo/status/*[normalize-space()] or $dii/dataExt/tempEle//*[normalize-space()] or $dii/idStatus/ProgCd or $dii/resMaint/maintFreq/MaintFreqCd"/>
<xsl:variable name="hasExtent"
  select="$boxes or $idinfo/spdom/*[normalize-space()] or $dii/dataExt/exDesc[normalize-space()]"/>
<xsl:variable name="hasSpref"
  select="$root/spref//*[normalize-space()] or $root/refSysInfo//*[normalize-space() or @code or @value]"/>
<xsl:variable name="hasOrganisation"
  select="$root/spdoinfo//*[normalize-space()] or $root/spatRepInfo//*[normalize-space() or @value]"/>
<xsl:variable name="hasQuality" select="$root/dataqual//*[normalize-space()] or $root/dqInfo//*[normalize-space()]"/>
<xsl:variable name="hasEntities" select="$root/eainfo//*[normalize-space()]"/>
<xsl:variable name="hasDistribution" select="$root/distinfo//*[normalize-space()] or $root/distInfo//*[normalize-space()]"/>
<xsl:variable name="hasContacts"
  select="$idinfo/ptcontac//*[normalize-space()] or $dii/idPoC//*[normalize-space()] or $icite/citRespParty//*[normalize-space()]"/>
<xsl:variable name="hasConstraints"
  select="$idinfo/accconst[normalize-space()] or $idinfo/useconst[normalize-space()] or $idinfo/secinfo//*[normalize-space()] or $dii/resConst//*[normalize-space() or @value]"/>
<xsl:variable name="hasMetadata"
  select="$root/metainfo//*[normalize-space()] or $root/Esri/*[normalize-space()] or $root/mdContact or $root/mdDateSt[normalize-space()] or $root/mdStanName[normalize-space()]"/>

<!-- ===== Page ================================================================== -->

<xsl:template match="/" mode="esri">
  <html lang="en">
    <head>
      <meta charset="utf-8"/>
      <meta name="viewport" content="width=device-width, initial-scale=1"/>
      <title>
        <xsl:choose>
          <xsl:when test="normalize-space($title)"><xsl:value-of select="$title"/></xsl:when>
          <xsl:otherwise>Metadata</xsl:otherwise>
        </xsl:choose>
      </title>
      <style><xsl:call-template name="css"/></style>
    </head>
    <body>
      <div class="page">
        <xsl:call-template name="hero"/>
        <xsl:call-template name="toc"/>
        <xsl:if test="$hasDescription"><xsl:call-template name="section-description"/></xsl:if>
        <xsl:if test="$hasKeywords"><xsl:call-template name="section-keywords"/></xsl:if>
        <xsl:if test="$hasTime"><xsl:call-template name="section-time"/></xsl:if>
        <xsl:if test="$hasExtent"><xsl:call-template name="section-extent"/></xsl:if>
        <xsl:if test="$hasSpref"><xsl:call-template name="section-spref"/></xsl:if>
        <xsl:if test="$hasOrganisation"><xsl:call-template name="section-organisation"/></xsl:if>
        <xsl:if test="$hasQuality"><xsl:call-template name="section-quality"/></xsl:if>
        <xsl:if test="$hasEntities"><xsl:call-template name="section-entities"/></xsl:if>
        <xsl:if test="$hasDistribution"><xsl:call-template name="section-distribution"/></xsl:if>
        <xsl:if test="$hasContacts"><xsl:call-template name="section-contacts"/></xsl:if>
        <xsl:if test="$hasConstraints"><xsl:call-template name="section-constraints"/></xsl:if>
        <xsl:if test="$hasMetadata"><xsl:call-template name="section-metadata"/></xsl:if>
        <xsl:if test="not($root/*)">
          <section class="card"><p class="muted">This metadata document is empty.</p></section>
        </xsl:if>
        <footer>Atlasdesk Full</footer>
      </div>
    </body>
  </html>
</xsl:template>

<xsl:template name="css">
:root{color-scheme:light dark;--bg:#f4f6f9;--card:#ffffff;--fg:#1c2330;--muted:#5f6b7d;--line:#e2e7ef;
--accent:#2563eb;--accent-soft:#e7efff;--chip:#eef2f7;--sea:#eaf1fb;--land:#cfd9e6;--grid:#d5deea;--box:rgba(37,99,235,.22)}
@media (prefers-color-scheme:dark){:root{--bg:#0e1116;--card:#161b22;--fg:#e6e9ef;--muted:#98a3b3;--line:#2a313c;
--accent:#79a6ff;--accent-soft:#1b2740;--chip:#222a36;--sea:#111a27;--land:#2d3a4d;--grid:#233044;--box:rgba(121,166,255,.28)}}
*{box-sizing:border-box}
html{background:var(--bg);scroll-behavior:smooth}
body{margin:0;color:var(--fg);font:15px/1.55 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans","Helvetica Neue",Arial,sans-serif;-webkit-font-smoothing:antialiased}
a{color:var(--accent);text-decoration:none;overflow-wrap:anywhere}
a:hover{text-decoration:underline}
.page{max-width:1060px;margin:0 auto;padding:22px 20px 40px}
.hero{display:flex;gap:24px;align-items:flex-start;background:var(--card);border:1px solid var(--line);border-radius:16px;padding:22px 26px}
.hero .main{flex:1 1 auto;min-width:0}
.kicker{text-transform:uppercase;font-size:11.5px;letter-spacing:.09em;color:var(--accent);font-weight:650;margin-bottom:6px}
h1{font-size:25px;line-height:1.25;margin:0 0 10px;font-weight:680;letter-spacing:-.012em;overflow-wrap:anywhere}
.facts{display:flex;flex-wrap:wrap;gap:4px 20px;color:var(--muted);font-size:13.5px;margin:0;padding:0;list-style:none}
.facts b{color:var(--fg);font-weight:600}
.lead{margin:14px 0 0;font-size:15px;color:var(--fg)}
.thumb{flex:0 0 auto;margin:0}
.thumb img{display:block;max-width:240px;max-height:200px;width:auto;height:auto;border-radius:10px;border:1px solid var(--line);background:#fff}
.thumb figcaption{font-size:11.5px;color:var(--muted);text-align:center;margin-top:4px}
nav.toc{display:flex;flex-wrap:wrap;gap:6px;margin:14px 2px 0}
nav.toc a{background:var(--card);border:1px solid var(--line);border-radius:999px;padding:3px 12px;font-size:13px;color:var(--muted)}
nav.toc a:hover{color:var(--accent);border-color:var(--accent);text-decoration:none}
section.card{background:var(--card);border:1px solid var(--line);border-radius:16px;padding:18px 26px 20px;margin-top:14px}
h2{font-size:17px;margin:0 0 12px;font-weight:650;display:flex;align-items:center;gap:10px}
h2::before{content:"";width:4px;height:18px;border-radius:2px;background:var(--accent)}
h3{font-size:12px;text-transform:uppercase;letter-spacing:.07em;color:var(--muted);margin:18px 0 6px;font-weight:650}
h2 + h3{margin-top:4px}
h4{font-size:14.5px;margin:14px 0 6px}
dl.kv{display:grid;grid-template-columns:minmax(130px,max-content) minmax(0,1fr);gap:5px 20px;margin:0}
dl.kv dt{color:var(--muted)}
dl.kv dd{margin:0;overflow-wrap:anywhere}
.text{overflow-wrap:anywhere}
.text p{margin:0 0 .65em}
.text p:last-child{margin-bottom:0}
.muted{color:var(--muted)}
.small{font-size:13px}
.chips{display:flex;flex-wrap:wrap;gap:6px;margin:2px 0 4px}
.chip{background:var(--chip);border-radius:999px;padding:2px 11px;font-size:13.5px}
.chip.topic{background:var(--accent-soft);color:var(--accent)}
.thesaurus{font-size:12.5px;color:var(--muted);margin:8px 0 4px}
.grid2{display:grid;grid-template-columns:repeat(auto-fill,minmax(280px,1fr));gap:12px}
.contact{border:1px solid var(--line);border-radius:12px;padding:12px 14px}
.contact .role{font-size:11.5px;text-transform:uppercase;letter-spacing:.07em;color:var(--accent);font-weight:650}
.contact .name{font-weight:620}
.contact div{overflow-wrap:anywhere}
.extent{display:flex;flex-wrap:wrap;gap:18px 28px;align-items:center;margin:4px 0 10px}
svg.map{width:380px;max-width:100%;height:auto;border:1px solid var(--line);border-radius:10px;background:var(--sea)}
svg.map .land{fill:var(--land)}
svg.map .grid{stroke:var(--grid);stroke-width:.6;fill:none}
svg.map .axis{stroke:var(--grid);stroke-width:1.2;fill:none}
svg.map .box{fill:var(--box);stroke:var(--accent);stroke-width:1.4}
svg.map .mark{fill:none;stroke:var(--accent);stroke-width:1.6}
table.coords{border-collapse:collapse;font-variant-numeric:tabular-nums}
table.coords td{padding:2px 10px 2px 0}
table.coords td:first-child{color:var(--muted)}
table.data{width:100%;border-collapse:collapse;font-size:13.5px;margin:6px 0 4px}
table.data th{text-align:left;font-size:11.5px;text-transform:uppercase;letter-spacing:.06em;color:var(--muted);font-weight:650;border-bottom:2px solid var(--line);padding:6px 8px}
table.data td{border-bottom:1px solid var(--line);padding:7px 8px;vertical-align:top;overflow-wrap:anywhere}
table.data tr:last-child td{border-bottom:0}
td.name{font-weight:600;white-space:nowrap}
td.name .alias{display:block;font-weight:400;color:var(--muted);font-size:12.5px}
code{font-family:ui-monospace,SFMono-Regular,Menlo,Consolas,"Liberation Mono",monospace;font-size:12.5px;background:var(--chip);border-radius:5px;padding:1px 5px;overflow-wrap:anywhere}
details{margin-top:4px}
summary{cursor:pointer;color:var(--accent);font-size:13px}
ul.links{list-style:none;margin:0;padding:0}
ul.links li{padding:6px 0;border-bottom:1px solid var(--line)}
ul.links li:last-child{border-bottom:0}
ul.links .desc{display:block;color:var(--muted);font-size:12.5px;overflow-wrap:anywhere}
ol.steps{margin:0;padding-left:20px}
ol.steps li{margin:0 0 10px;overflow-wrap:anywhere}
ol.steps .when{color:var(--muted);font-size:12.5px}
footer{color:var(--muted);font-size:12px;margin-top:20px;text-align:center}
@media (max-width:680px){.hero{flex-direction:column-reverse}.page{padding:12px 10px 30px}section.card,.hero{padding:16px}dl.kv{grid-template-columns:1fr}dl.kv dt{margin-top:6px}}
@media print{html{background:#fff}section.card,.hero{border:0;padding:8px 0}nav.toc{display:none}}
</xsl:template>

<!-- ===== Header ================================================================ -->

<xsl:template name="hero">
  <header class="hero">
    <div class="main">
      <xsl:variable name="form">
        <xsl:call-template name="pick">
          <xsl:with-param name="a" select="$icite/presForm/fgdcGeoform"/>
          <xsl:with-param name="b" select="$cite/geoform"/>
        </xsl:call-template>
      </xsl:variable>
      <div class="kicker">
        <xsl:choose>
          <xsl:when test="normalize-space($form)"><xsl:value-of select="$form"/></xsl:when>
          <xsl:when test="$icite/presForm/PresFormCd/@value">
            <xsl:call-template name="presentation-form">
              <xsl:with-param name="code" select="$icite/presForm/PresFormCd/@value"/>
            </xsl:call-template>
          </xsl:when>
          <xsl:otherwise>Metadata</xsl:otherwise>
        </xsl:choose>
      </div>
      <h1>
        <xsl:choose>
          <xsl:when test="normalize-space($title)"><xsl:value-of select="$title"/></xsl:when>
          <xsl:otherwise><span class="muted">Untitled data set</span></xsl:otherwise>
        </xsl:choose>
      </h1>
      <ul class="facts">
        <xsl:variable name="originators" select="$cite/origin[normalize-space()] | $icite/citRespParty[role/RoleCd/@value = '006']"/>
        <xsl:if test="$originators">
          <li>By <b>
            <xsl:for-each select="$originators">
              <xsl:if test="position() &gt; 1">, </xsl:if>
              <xsl:call-template name="party-name"/>
            </xsl:for-each>
          </b></li>
        </xsl:if>
        <xsl:variable name="published">
          <xsl:call-template name="pick">
            <xsl:with-param name="a" select="$icite/date/pubDate"/>
            <xsl:with-param name="b" select="$cite/pubdate"/>
          </xsl:call-template>
        </xsl:variable>
        <xsl:if test="normalize-space($published)">
          <li>Published <b><xsl:call-template name="date"><xsl:with-param name="value" select="$published"/></xsl:call-template></b></li>
        </xsl:if>
        <xsl:variable name="edition">
          <xsl:call-template name="pick">
            <xsl:with-param name="a" select="$icite/resEd"/>
            <xsl:with-param name="b" select="$cite/edition"/>
          </xsl:call-template>
        </xsl:variable>
        <xsl:if test="normalize-space($edition)">
          <li>Edition <b><xsl:value-of select="$edition"/></b></li>
        </xsl:if>
        <xsl:variable name="progress">
          <xsl:choose>
            <xsl:when test="$dii/idStatus/ProgCd/@value">
              <xsl:call-template name="progress-code"><xsl:with-param name="code" select="$dii/idStatus/ProgCd/@value"/></xsl:call-template>
            </xsl:when>
            <xsl:otherwise><xsl:value-of select="normalize-space($idinfo/status/progress)"/></xsl:otherwise>
          </xsl:choose>
        </xsl:variable>
        <xsl:if test="normalize-space($progress)">
          <li>Status <b><xsl:value-of select="$progress"/></b></li>
        </xsl:if>
      </ul>
      <xsl:variable name="purposeLead" select="normalize-space($purpose)"/>
      <xsl:if test="$purposeLead and not(starts-with($purposeLead, '&lt;'))">
        <p class="lead">
          <xsl:call-template name="shorten">
            <xsl:with-param name="text" select="$purposeLead"/>
            <xsl:with-param name="length" select="280"/>
          </xsl:call-template>
        </p>
      </xsl:if>
    </div>
    <xsl:if test="$thumbnail">
      <figure class="thumb">
        <img src="{$thumbnail}" alt="Thumbnail"/>
        <figcaption>Thumbnail</figcaption>
      </figure>
    </xsl:if>
  </header>
</xsl:template>

<xsl:template name="toc">
  <nav class="toc">
    <xsl:if test="$hasDescription"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'description'"/><xsl:with-param name="label" select="'Description'"/></xsl:call-template></xsl:if>
    <xsl:if test="$hasKeywords"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'keywords'"/><xsl:with-param name="label" select="'Keywords'"/></xsl:call-template></xsl:if>
    <xsl:if test="$hasTime"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'time'"/><xsl:with-param name="label" select="'Time and status'"/></xsl:call-template></xsl:if>
    <xsl:if test="$hasExtent"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'extent'"/><xsl:with-param name="label" select="'Extent'"/></xsl:call-template></xsl:if>
    <xsl:if test="$hasSpref"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'spref'"/><xsl:with-param name="label" select="'Spatial reference'"/></xsl:call-template></xsl:if>
    <xsl:if test="$hasOrganisation"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'organisation'"/><xsl:with-param name="label" select="'Data organisation'"/></xsl:call-template></xsl:if>
    <xsl:if test="$hasQuality"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'quality'"/><xsl:with-param name="label" select="'Quality and lineage'"/></xsl:call-template></xsl:if>
    <xsl:if test="$hasEntities"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'entities'"/><xsl:with-param name="label" select="'Entities and attributes'"/></xsl:call-template></xsl:if>
    <xsl:if test="$hasDistribution"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'distribution'"/><xsl:with-param name="label" select="'Distribution'"/></xsl:call-template></xsl:if>
    <xsl:if test="$hasContacts"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'contacts'"/><xsl:with-param name="label" select="'Contacts'"/></xsl:call-template></xsl:if>
    <xsl:if test="$hasConstraints"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'constraints'"/><xsl:with-param name="label" select="'Constraints'"/></xsl:call-template></xsl:if>
    <xsl:if test="$hasMetadata"><xsl:call-template name="toc-link"><xsl:with-param name="id" select="'metadata'"/><xsl:with-param name="label" select="'Metadata reference'"/></xsl:call-template></xsl:if>
  </nav>
</xsl:template>

<xsl:template name="toc-link">
  <xsl:param name="id"/>
  <xsl:param name="label"/>
  <a href="#{$id}"><xsl:value-of select="$label"/></a>
</xsl:template>

<!-- ===== Description =========================================================== -->

<xsl:template name="section-description">
  <section class="card" id="description">
    <h2>Description</h2>
    <xsl:if test="$abstract">
      <h3>Abstract</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="$abstract"/></xsl:call-template>
    </xsl:if>
    <xsl:if test="$purpose">
      <h3>Purpose</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="$purpose"/></xsl:call-template>
    </xsl:if>
    <xsl:if test="$supplinf">
      <h3>Supplemental information</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="$supplinf"/></xsl:call-template>
    </xsl:if>
    <xsl:if test="$credit">
      <h3>Credit</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="$credit"/></xsl:call-template>
    </xsl:if>
    <xsl:if test="$cite or $icite">
      <h3>Citation</h3>
      <dl class="kv">
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Title'"/><xsl:with-param name="value" select="$title"/></xsl:call-template>
        <xsl:for-each select="$cite/origin[normalize-space()]">
          <xsl:call-template name="row"><xsl:with-param name="label" select="'Originator'"/><xsl:with-param name="value" select="."/></xsl:call-template>
        </xsl:for-each>
        <xsl:for-each select="$icite/citRespParty">
          <dt><xsl:call-template name="role-code"><xsl:with-param name="code" select="role/RoleCd/@value"/></xsl:call-template></dt>
          <dd><xsl:call-template name="party-name"/></dd>
        </xsl:for-each>
        <xsl:call-template name="date-row"><xsl:with-param name="label" select="'Publication date'"/><xsl:with-param name="value" select="$cite/pubdate"/></xsl:call-template>
        <xsl:call-template name="date-row"><xsl:with-param name="label" select="'Publication time'"/><xsl:with-param name="value" select="$cite/pubtime"/></xsl:call-template>
        <xsl:call-template name="date-row"><xsl:with-param name="label" select="'Publication date'"/><xsl:with-param name="value" select="$icite/date/pubDate[not($cite/pubdate = .)]"/></xsl:call-template>
        <xsl:call-template name="date-row"><xsl:with-param name="label" select="'Creation date'"/><xsl:with-param name="value" select="$icite/date/createDate"/></xsl:call-template>
        <xsl:call-template name="date-row"><xsl:with-param name="label" select="'Revision date'"/><xsl:with-param name="value" select="$icite/date/reviseDate"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Edition'"/><xsl:with-param name="value" select="$cite/edition | $icite/resEd"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Data form'"/><xsl:with-param name="value" select="$cite/geoform"/></xsl:call-template>
        <xsl:for-each select="$icite/presForm/PresFormCd/@value">
          <dt>Presentation form</dt>
          <dd><xsl:call-template name="presentation-form"><xsl:with-param name="code" select="."/></xsl:call-template></dd>
        </xsl:for-each>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Series'"/><xsl:with-param name="value" select="$cite/serinfo/sername | $icite/datasetSeries/seriesName"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Issue'"/><xsl:with-param name="value" select="$cite/serinfo/issue | $icite/datasetSeries/issId"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Publisher'"/><xsl:with-param name="value" select="$cite/pubinfo/publish"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Place of publication'"/><xsl:with-param name="value" select="$cite/pubinfo/pubplace"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Other details'"/><xsl:with-param name="value" select="$cite/othercit | $icite/otherCitDet"/></xsl:call-template>
        <xsl:for-each select="$cite/onlink[normalize-space()] | $icite/citOnlineRes/linkage[normalize-space()]">
          <dt>Online</dt>
          <dd><xsl:call-template name="link"><xsl:with-param name="url" select="normalize-space(.)"/></xsl:call-template></dd>
        </xsl:for-each>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Feature class'"/><xsl:with-param name="value" select="$cite/ftname"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Native environment'"/><xsl:with-param name="value" select="$idinfo/native | $dii/envirDesc"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Native format'"/><xsl:with-param name="value" select="$idinfo/natvform"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Language'"/><xsl:with-param name="value" select="$idinfo/descript/langdata | $dii/dataLang/languageCode/@value"/></xsl:call-template>
      </dl>
    </xsl:if>
    <xsl:for-each select="$idinfo/browse[browsen[normalize-space()] or browsed[normalize-space()]]">
      <h3>Browse graphic</h3>
      <dl class="kv">
        <xsl:if test="normalize-space(browsen)">
          <dt>File</dt>
          <dd><xsl:call-template name="link"><xsl:with-param name="url" select="normalize-space(browsen)"/></xsl:call-template></dd>
        </xsl:if>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Description'"/><xsl:with-param name="value" select="browsed"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Type'"/><xsl:with-param name="value" select="browset"/></xsl:call-template>
      </dl>
    </xsl:for-each>
  </section>
</xsl:template>

<!-- ===== Keywords ============================================================== -->

<xsl:template name="section-keywords">
  <section class="card" id="keywords">
    <h2>Keywords</h2>
    <xsl:if test="$dii/tpCat/TopicCatCd">
      <h3>Topic categories</h3>
      <div class="chips">
        <xsl:for-each select="$dii/tpCat/TopicCatCd">
          <span class="chip topic"><xsl:call-template name="topic-code"><xsl:with-param name="code" select="@value"/></xsl:call-template></span>
        </xsl:for-each>
      </div>
    </xsl:if>
    <xsl:call-template name="keyword-groups">
      <xsl:with-param name="heading" select="'Theme'"/>
      <xsl:with-param name="groups" select="$idinfo/keywords/theme[themekey[normalize-space()]] | $dii/themeKeys[keyword[normalize-space()]]"/>
    </xsl:call-template>
    <xsl:call-template name="keyword-groups">
      <xsl:with-param name="heading" select="'Place'"/>
      <xsl:with-param name="groups" select="$idinfo/keywords/place[placekey[normalize-space()]] | $dii/placeKeys[keyword[normalize-space()]]"/>
    </xsl:call-template>
    <xsl:call-template name="keyword-groups">
      <xsl:with-param name="heading" select="'Stratum'"/>
      <xsl:with-param name="groups" select="$idinfo/keywords/stratum[stratkey[normalize-space()]] | $dii/stratKeys[keyword[normalize-space()]]"/>
    </xsl:call-template>
    <xsl:call-template name="keyword-groups">
      <xsl:with-param name="heading" select="'Temporal'"/>
      <xsl:with-param name="groups" select="$idinfo/keywords/temporal[tempkey[normalize-space()]] | $dii/tempKeys[keyword[normalize-space()]]"/>
    </xsl:call-template>
    <xsl:call-template name="keyword-groups">
      <xsl:with-param name="heading" select="'Discipline'"/>
      <xsl:with-param name="groups" select="$dii/discKeys[keyword[normalize-space()]]"/>
    </xsl:call-template>
    <xsl:call-template name="keyword-groups">
      <xsl:with-param name="heading" select="'Search keywords'"/>
      <xsl:with-param name="groups" select="$dii/searchKeys[keyword[normalize-space()]]"/>
    </xsl:call-template>
  </section>
</xsl:template>

<xsl:template name="keyword-groups">
  <xsl:param name="heading"/>
  <xsl:param name="groups"/>
  <xsl:if test="$groups">
    <h3><xsl:value-of select="$heading"/></h3>
    <xsl:for-each select="$groups">
      <xsl:variable name="thesaurus" select="normalize-space(themekt | placekt | stratkt | tempkt | thesaName/resTitle)"/>
      <xsl:if test="$thesaurus and $thesaurus != 'None' and $thesaurus != 'none'">
        <div class="thesaurus">Thesaurus: <xsl:value-of select="$thesaurus"/></div>
      </xsl:if>
      <div class="chips">
        <xsl:for-each select="themekey | placekey | stratkey | tempkey | keyword">
          <xsl:if test="normalize-space()">
            <span class="chip"><xsl:value-of select="normalize-space()"/></span>
          </xsl:if>
        </xsl:for-each>
      </div>
    </xsl:for-each>
  </xsl:if>
</xsl:template>

<!-- ===== Time period and status =================================================== -->

<xsl:template name="section-time">
  <section class="card" id="time">
    <h2>Time period and status</h2>
    <dl class="kv">
      <xsl:for-each select="$idinfo/timeperd/timeinfo//sngdate | $idinfo/timeperd/timeinfo/sngdate">
        <dt>Date</dt>
        <dd>
          <xsl:call-template name="date"><xsl:with-param name="value" select="caldate"/></xsl:call-template>
          <xsl:if test="normalize-space(time)"><xsl:text> </xsl:text><xsl:call-template name="time"><xsl:with-param name="value" select="time"/></xsl:call-template></xsl:if>
        </dd>
      </xsl:for-each>
      <xsl:for-each select="$idinfo/timeperd/timeinfo/rngdates">
        <dt>Period</dt>
        <dd>
          <xsl:call-template name="date"><xsl:with-param name="value" select="begdate"/></xsl:call-template>
          <xsl:if test="normalize-space(begtime)"><xsl:text> </xsl:text><xsl:call-template name="time"><xsl:with-param name="value" select="begtime"/></xsl:call-template></xsl:if>
          <xsl:text> &#8211; </xsl:text>
          <xsl:call-template name="date"><xsl:with-param name="value" select="enddate"/></xsl:call-template>
          <xsl:if test="normalize-space(endtime)"><xsl:text> </xsl:text><xsl:call-template name="time"><xsl:with-param name="value" select="endtime"/></xsl:call-template></xsl:if>
        </dd>
      </xsl:for-each>
      <xsl:for-each select="$dii/dataExt/tempEle/TempExtent/exTemp">
        <xsl:for-each select="TM_Instant/tmPosition[normalize-space()]">
          <dt>Date</dt>
          <dd><xsl:call-template name="date"><xsl:with-param name="value" select="."/></xsl:call-template></dd>
        </xsl:for-each>
        <xsl:for-each select="TM_Period[normalize-space()]">
          <dt>Period</dt>
          <dd>
            <xsl:call-template name="date"><xsl:with-param name="value" select="tmBegin"/></xsl:call-template>
            <xsl:text> &#8211; </xsl:text>
            <xsl:call-template name="date"><xsl:with-param name="value" select="tmEnd"/></xsl:call-template>
          </dd>
        </xsl:for-each>
      </xsl:for-each>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Currentness'"/><xsl:with-param name="value" select="$idinfo/timeperd/current"/></xsl:call-template>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Progress'"/><xsl:with-param name="value" select="$idinfo/status/progress[not($dii/idStatus/ProgCd/@value)]"/></xsl:call-template>
      <xsl:for-each select="$dii/idStatus/ProgCd/@value">
        <dt>Progress</dt>
        <dd><xsl:call-template name="progress-code"><xsl:with-param name="code" select="."/></xsl:call-template></dd>
      </xsl:for-each>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Updates'"/><xsl:with-param name="value" select="$idinfo/status/update[not($dii/resMaint/maintFreq/MaintFreqCd/@value)]"/></xsl:call-template>
      <xsl:for-each select="$dii/resMaint/maintFreq/MaintFreqCd/@value">
        <dt>Updates</dt>
        <dd><xsl:call-template name="frequency-code"><xsl:with-param name="code" select="."/></xsl:call-template></dd>
      </xsl:for-each>
    </dl>
  </section>
</xsl:template>

<!-- ===== Extent ================================================================== -->

<xsl:template name="section-extent">
  <section class="card" id="extent">
    <h2>Extent</h2>
    <xsl:for-each select="$boxes">
      <xsl:variable name="w" select="normalize-space(westbc | westBL)"/>
      <xsl:variable name="e" select="normalize-space(eastbc | eastBL)"/>
      <xsl:variable name="s" select="normalize-space(southbc | southBL)"/>
      <xsl:variable name="n" select="normalize-space(northbc | northBL)"/>
      <div class="extent">
        <xsl:if test="string(number($w)) != 'NaN' and string(number($e)) != 'NaN' and string(number($s)) != 'NaN' and string(number($n)) != 'NaN'">
          <xsl:call-template name="world-map">
            <xsl:with-param name="w" select="number($w)"/>
            <xsl:with-param name="e" select="number($e)"/>
            <xsl:with-param name="s" select="number($s)"/>
            <xsl:with-param name="n" select="number($n)"/>
          </xsl:call-template>
        </xsl:if>
        <div>
          <h3>Bounding coordinates</h3>
          <table class="coords">
            <tr><td>West</td><td><xsl:value-of select="$w"/>&#176;</td></tr>
            <tr><td>East</td><td><xsl:value-of select="$e"/>&#176;</td></tr>
            <tr><td>North</td><td><xsl:value-of select="$n"/>&#176;</td></tr>
            <tr><td>South</td><td><xsl:value-of select="$s"/>&#176;</td></tr>
          </table>
        </div>
      </div>
    </xsl:for-each>
    <xsl:for-each select="$idinfo/spdom/lbounding[*[normalize-space()]]">
      <h3>Bounding coordinates in the data's own system</h3>
      <table class="coords">
        <tr><td>Left</td><td><xsl:value-of select="normalize-space(leftbc | westbc)"/></td></tr>
        <tr><td>Right</td><td><xsl:value-of select="normalize-space(rightbc | eastbc)"/></td></tr>
        <tr><td>Top</td><td><xsl:value-of select="normalize-space(topbc | northbc)"/></td></tr>
        <tr><td>Bottom</td><td><xsl:value-of select="normalize-space(bottombc | southbc)"/></td></tr>
      </table>
    </xsl:for-each>
    <dl class="kv">
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Description'"/><xsl:with-param name="value" select="$idinfo/spdom/descgeog | $dii/dataExt/exDesc"/></xsl:call-template>
      <xsl:for-each select="$idinfo/spdom/boundalt[normalize-space()]">
        <dt>Altitude</dt>
        <dd><xsl:value-of select="normalize-space(altmin)"/> &#8211; <xsl:value-of select="normalize-space(altmax)"/><xsl:text> </xsl:text><xsl:value-of select="normalize-space(altunits)"/></dd>
      </xsl:for-each>
      <xsl:for-each select="$idinfo/spdom/dsgpoly">
        <dt>Polygon</dt>
        <dd><xsl:value-of select="count(dsgpolyo/grngpoin)"/> points</dd>
      </xsl:for-each>
    </dl>
  </section>
</xsl:template>

<!-- A longitude/latitude grid of the world with a coarse coastline and the
     box drawn on it; a box too small to see gets a ring around its centre. -->
<xsl:template name="world-map">
  <xsl:param name="w"/>
  <xsl:param name="e"/>
  <xsl:param name="s"/>
  <xsl:param name="n"/>
  <xsl:variable name="cw"><xsl:call-template name="clamp"><xsl:with-param name="v" select="$w"/><xsl:with-param name="limit" select="180"/></xsl:call-template></xsl:variable>
  <xsl:variable name="ce"><xsl:call-template name="clamp"><xsl:with-param name="v" select="$e"/><xsl:with-param name="limit" select="180"/></xsl:call-template></xsl:variable>
  <xsl:variable name="cs"><xsl:call-template name="clamp"><xsl:with-param name="v" select="$s"/><xsl:with-param name="limit" select="90"/></xsl:call-template></xsl:variable>
  <xsl:variable name="cn"><xsl:call-template name="clamp"><xsl:with-param name="v" select="$n"/><xsl:with-param name="limit" select="90"/></xsl:call-template></xsl:variable>
  <xsl:variable name="south">
    <xsl:choose><xsl:when test="$cs &lt;= $cn"><xsl:value-of select="$cs"/></xsl:when><xsl:otherwise><xsl:value-of select="$cn"/></xsl:otherwise></xsl:choose>
  </xsl:variable>
  <xsl:variable name="height">
    <xsl:choose><xsl:when test="$cs &lt;= $cn"><xsl:value-of select="$cn - $cs"/></xsl:when><xsl:otherwise><xsl:value-of select="$cs - $cn"/></xsl:otherwise></xsl:choose>
  </xsl:variable>
  <svg class="map" viewBox="-180 -90 360 180" xmlns="http://www.w3.org/2000/svg" role="img">
    <title>Bounding box on a map of the world</title>
    <g transform="scale(1,-1)">
      <path class="land">
        <xsl:attribute name="d"><xsl:call-template name="coastline"/></xsl:attribute>
      </path>
      <path class="grid" d="M-150,-90V90M-120,-90V90M-90,-90V90M-60,-90V90M-30,-90V90M30,-90V90M60,-90V90M90,-90V90M120,-90V90M150,-90V90M-180,-60H180M-180,-30H180M-180,30H180M-180,60H180"/>
      <path class="axis" d="M0,-90V90M-180,0H180"/>
      <xsl:choose>
        <xsl:when test="$cw &lt;= $ce">
          <rect class="box" x="{$cw}" y="{$south}" width="{$ce - $cw}" height="{$height}"/>
        </xsl:when>
        <xsl:otherwise>
          <!-- The box crosses the 180th meridian. -->
          <rect class="box" x="{$cw}" y="{$south}" width="{180 - $cw}" height="{$height}"/>
          <rect class="box" x="-180" y="{$south}" width="{$ce + 180}" height="{$height}"/>
        </xsl:otherwise>
      </xsl:choose>
      <xsl:if test="$cw &lt;= $ce and ($ce - $cw &lt; 8 or $height &lt; 8)">
        <circle class="mark" cx="{($cw + $ce) div 2}" cy="{$south + $height div 2}" r="7"/>
      </xsl:if>
    </g>
  </svg>
</xsl:template>

<xsl:template name="clamp">
  <xsl:param name="v"/>
  <xsl:param name="limit"/>
  <xsl:choose>
    <xsl:when test="$v &gt; $limit"><xsl:value-of select="$limit"/></xsl:when>
    <xsl:when test="$v &lt; -$limit"><xsl:value-of select="-$limit"/></xsl:when>
    <xsl:otherwise><xsl:value-of select="$v"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- Continents as rough polygons, longitude then latitude. -->
<xsl:template name="coastline">M-168,66L-162,70L-156,71.5L-140,70L-128,70.5L-115,68.5L-95,72L-85,70L-80,63L-94,60L-92,57L-82,55L-79,52L-77,56L-78,62L-70,62L-65,60L-62,57L-56,52L-60,47.5L-66,45L-70,42L-75,39L-76,35L-81,31L-80,25.5L-82,27L-84,30L-90,29.5L-97,27L-97,22L-92,18.5L-87,21.5L-88,16L-83,15L-83,10.5L-79,9L-81,7.5L-86,11L-92,14.5L-96,16L-105,20L-106,23L-110,24L-112,29L-114,31L-110,23L-115,28L-117,32.5L-121,35L-124,40L-124,46L-125,49L-131,54L-136,58L-146,60.5L-153,58L-158,56L-165,54.5L-158,58.5L-162,60L-166,62L-165,64.5L-168,66Z
M-73,78L-60,82L-30,83.5L-18,81L-20,70L-24,68L-40,65L-43,60L-50,62L-54,67L-58,75Z
M-80,9L-75,11L-72,12L-63,10.5L-60,8.5L-52,5L-50,0L-44,-2.5L-35,-5L-35,-9L-39,-13L-40,-20L-48,-26L-53,-33L-58,-38L-62,-39L-65,-45L-68,-50L-69,-52L-74,-53L-75,-46L-73,-37L-71,-30L-70,-18L-76,-14L-81,-6L-80,-1L-77,4L-78,8Z
M-10,36L-9,43L-2,43.5L-5,48L2,51L8,54L10,57L5,58.5L5,62L14,67L20,70L30,70L40,67L45,68L60,69L70,73L80,73L100,78L112,74L130,71L140,72L160,70L170,70L180,68L180,65L178,62L170,60L163,58L160,53L156,51L156,57L150,59L142,59L137,54L140,48L135,43L130,42L129,35L126,37L125,40L121,40L122,37L119,35L121,31L122,29L119,25L114,22L108,21L106,18L109,12L105,9L100,13L99,8L100,3L103,1.5L98,8L98,16L94,17L91,22L86,21L80,15L78,8L76,10L73,17L72,21L67,24L61,25L57,26L59,22L55,17L52,16L44,12.5L43,15L39,21L35,28L34,30L32,31L35,33L36,36L30,36L27,37L26,40L23,37L20,40L19,42L13,45L12,44L16,38L12,41L9,44L3,43L0,39L-2,37L-5,36Z
M-17,21L-17,15L-12,8L-8,4.5L-2,5L5,6L9,4L9,-1L12,-5L13,-12L12,-17L15,-27L18,-34L20,-35L26,-34L32,-29L35,-24L35,-18L40,-15L40,-10L39,-5L43,0L51,11L44,11L43,13L39,17L35,24L32,31L29,31L25,32L20,31L15,32L11,33L10,37L3,37L-2,35L-6,36L-10,30L-13,28Z
M114,-22L114,-34L118,-35L124,-33L131,-31.5L135,-35L138,-35L141,-38L146,-39L150,-37L153,-31L153,-26L150,-22L146,-19L145,-15L142,-11L141,-17L136,-15L137,-12L131,-11L126,-14L122,-18Z
M-180,-90L-180,-78L-160,-78L-150,-76L-100,-73L-75,-72L-60,-64L-58,-64L-60,-70L-40,-78L-10,-71L20,-70L50,-67L70,-68L90,-66L120,-66L150,-68L165,-72L170,-78L180,-78L180,-90Z
M-5,50L1,51L2,53L-3,56L-2,58L-5,58.5L-6,56L-5,54L-3,54L-5,52Z
M-6,52L-10,52L-10,54L-8,55L-6,54.5Z
M-24,65L-14,66L-13,65L-18,63.5L-22,64Z
M130,31L132,34L135,34L140,35.5L141,41L140,41L138,37L133,35.5L130,33.5Z
M44,-25L47,-25L50,-15L49,-12L44,-16Z
M109,2L117,7L119,5L118,1L116,-4L110,-3Z
M95,5.5L98,4L106,-6L104,-6L101,-3L95,3Z
M131,-1L141,-2.5L150,-10L143,-9L138,-8L132,-4Z
M172,-34.5L178,-37.5L175,-41.5L172,-41L174,-39Z
M172,-41L174,-42L171,-44L167,-46.5L167,-45Z</xsl:template>

<!-- ===== Spatial reference ======================================================= -->

<xsl:template name="section-spref">
  <section class="card" id="spref">
    <h2>Spatial reference</h2>
    <xsl:variable name="h" select="$root/spref/horizsys"/>
    <dl class="kv">
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Projected system'"/><xsl:with-param name="value" select="$h/cordsysn/projcsn"/></xsl:call-template>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Geographic system'"/><xsl:with-param name="value" select="$h/cordsysn/geogcsn"/></xsl:call-template>
      <xsl:for-each select="$root/refSysInfo/RefSystem/refSysID">
        <dt>Reference system</dt>
        <dd>
          <xsl:value-of select="normalize-space(identCode/@code | identCode)"/>
          <xsl:if test="normalize-space(idCodeSpace)"> <span class="muted"> (<xsl:value-of select="normalize-space(idCodeSpace)"/><xsl:if test="normalize-space(idVersion)"><xsl:text> </xsl:text><xsl:value-of select="normalize-space(idVersion)"/></xsl:if>)</span></xsl:if>
        </dd>
      </xsl:for-each>
      <xsl:for-each select="$h/geograph">
        <dt>Geographic coordinates</dt>
        <dd>
          <xsl:value-of select="normalize-space(geogunit)"/>
          <xsl:if test="normalize-space(latres)">, latitude resolution <xsl:value-of select="normalize-space(latres)"/></xsl:if>
          <xsl:if test="normalize-space(longres)">, longitude resolution <xsl:value-of select="normalize-space(longres)"/></xsl:if>
        </dd>
      </xsl:for-each>
      <xsl:for-each select="$h/planar/mapproj">
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Map projection'"/><xsl:with-param name="value" select="mapprojn"/></xsl:call-template>
        <xsl:for-each select="*[not(self::mapprojn)]/*[normalize-space()] | mapprojp/*[normalize-space()]">
          <dt><xsl:call-template name="projection-parameter"/></dt>
          <dd><xsl:value-of select="normalize-space()"/></dd>
        </xsl:for-each>
      </xsl:for-each>
      <xsl:for-each select="$h/planar/gridsys">
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Grid system'"/><xsl:with-param name="value" select="gridsysn"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'UTM zone'"/><xsl:with-param name="value" select="utm/utmzone"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'State plane zone'"/><xsl:with-param name="value" select="spcs/spcszone"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'UPS zone'"/><xsl:with-param name="value" select="ups/upszone"/></xsl:call-template>
        <xsl:for-each select="*/transmer/* | */polarst/* | */lambertc/*">
          <xsl:if test="normalize-space()">
            <dt><xsl:call-template name="projection-parameter"/></dt>
            <dd><xsl:value-of select="normalize-space()"/></dd>
          </xsl:if>
        </xsl:for-each>
      </xsl:for-each>
      <xsl:for-each select="$h/planar/planci">
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Coordinate encoding'"/><xsl:with-param name="value" select="plance"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Abscissa resolution'"/><xsl:with-param name="value" select="coordrep/absres"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Ordinate resolution'"/><xsl:with-param name="value" select="coordrep/ordres"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Distance resolution'"/><xsl:with-param name="value" select="distbrep/distres"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Planar units'"/><xsl:with-param name="value" select="plandu"/></xsl:call-template>
      </xsl:for-each>
      <xsl:for-each select="$h/local">
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Local system'"/><xsl:with-param name="value" select="localdes"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Georeference'"/><xsl:with-param name="value" select="localgeo"/></xsl:call-template>
      </xsl:for-each>
      <xsl:for-each select="$h/geodetic">
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Horizontal datum'"/><xsl:with-param name="value" select="horizdn"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Ellipsoid'"/><xsl:with-param name="value" select="ellips"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Semi-major axis'"/><xsl:with-param name="value" select="semiaxis"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Flattening ratio'"/><xsl:with-param name="value" select="denflat"/></xsl:call-template>
      </xsl:for-each>
      <xsl:for-each select="$root/spref/vertdef/altsys">
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Altitude datum'"/><xsl:with-param name="value" select="altdatum"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Altitude resolution'"/><xsl:with-param name="value" select="altres"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Altitude units'"/><xsl:with-param name="value" select="altunits"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Altitude encoding'"/><xsl:with-param name="value" select="altenc"/></xsl:call-template>
      </xsl:for-each>
      <xsl:for-each select="$root/spref/vertdef/depthsys">
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Depth datum'"/><xsl:with-param name="value" select="depthdn"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Depth resolution'"/><xsl:with-param name="value" select="depthres"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Depth units'"/><xsl:with-param name="value" select="depthdu"/></xsl:call-template>
      </xsl:for-each>
    </dl>
  </section>
</xsl:template>

<xsl:template name="projection-parameter">
  <xsl:variable name="n" select="local-name()"/>
  <xsl:choose>
    <xsl:when test="$n = 'stdparll'">Standard parallel</xsl:when>
    <xsl:when test="$n = 'longcm'">Central meridian</xsl:when>
    <xsl:when test="$n = 'latprjo'">Latitude of origin</xsl:when>
    <xsl:when test="$n = 'feast'">False easting</xsl:when>
    <xsl:when test="$n = 'fnorth'">False northing</xsl:when>
    <xsl:when test="$n = 'sfctrmer'">Scale factor at central meridian</xsl:when>
    <xsl:when test="$n = 'sfequat'">Scale factor at equator</xsl:when>
    <xsl:when test="$n = 'sfprjorg'">Scale factor at origin</xsl:when>
    <xsl:when test="$n = 'sfctrlin'">Scale factor at centre line</xsl:when>
    <xsl:when test="$n = 'heightpt'">Height of perspective point</xsl:when>
    <xsl:when test="$n = 'longpc'">Longitude of projection centre</xsl:when>
    <xsl:when test="$n = 'latprjc'">Latitude of projection centre</xsl:when>
    <xsl:when test="$n = 'svlong'">Straight vertical longitude</xsl:when>
    <xsl:when test="$n = 'obqlazim'">Oblique line azimuth</xsl:when>
    <xsl:when test="$n = 'otherprj'">Other projection</xsl:when>
    <xsl:otherwise><xsl:value-of select="$n"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- ===== Spatial data organisation ================================================ -->

<xsl:template name="section-organisation">
  <section class="card" id="organisation">
    <h2>Data organisation</h2>
    <xsl:variable name="o" select="$root/spdoinfo"/>
    <dl class="kv">
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Representation'"/><xsl:with-param name="value" select="$o/direct"/></xsl:call-template>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Indirect reference'"/><xsl:with-param name="value" select="$o/indspref"/></xsl:call-template>
      <xsl:for-each select="$o/rastinfo">
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Raster type'"/><xsl:with-param name="value" select="rasttype"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Rows'"/><xsl:with-param name="value" select="rowcount"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Columns'"/><xsl:with-param name="value" select="colcount"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Vertical count'"/><xsl:with-param name="value" select="vrtcount"/></xsl:call-template>
      </xsl:for-each>
      <xsl:for-each select="$root/spatRepInfo/GridSpatRep/axisDimension">
        <dt><xsl:call-template name="dimension-code"><xsl:with-param name="code" select="@type"/></xsl:call-template></dt>
        <dd><xsl:value-of select="normalize-space(dimSize)"/></dd>
      </xsl:for-each>
    </dl>
    <xsl:if test="$o/ptvctinf/sdtsterm | $o/ptvctinf/esriterm | $root/spatRepInfo/VectSpatRep/geometObjs">
      <table class="data">
        <tr><th>Feature type</th><th>Geometry</th><th>Count</th></tr>
        <xsl:for-each select="$o/ptvctinf/esriterm">
          <tr>
            <td class="name"><xsl:value-of select="@Name"/><span class="alias"><xsl:value-of select="normalize-space(efeatyp)"/></span></td>
            <td><xsl:value-of select="normalize-space(efeageom)"/></td>
            <td><xsl:value-of select="normalize-space(efeacnt)"/></td>
          </tr>
        </xsl:for-each>
        <xsl:for-each select="$o/ptvctinf/sdtsterm">
          <tr>
            <td class="name"><xsl:value-of select="@Name"/></td>
            <td><xsl:value-of select="normalize-space(sdtstype)"/></td>
            <td><xsl:value-of select="normalize-space(ptvctcnt)"/></td>
          </tr>
        </xsl:for-each>
        <xsl:for-each select="$root/spatRepInfo/VectSpatRep/geometObjs">
          <tr>
            <td class="name"><xsl:value-of select="@Name"/></td>
            <td><xsl:call-template name="geometry-code"><xsl:with-param name="code" select="geoObjTyp/GeoObjTypCd/@value"/></xsl:call-template></td>
            <td><xsl:value-of select="normalize-space(geoObjCnt)"/></td>
          </tr>
        </xsl:for-each>
      </table>
    </xsl:if>
  </section>
</xsl:template>

<!-- ===== Data quality and lineage ================================================== -->

<xsl:template name="section-quality">
  <section class="card" id="quality">
    <h2>Quality and lineage</h2>
    <xsl:variable name="q" select="$root/dataqual"/>
    <xsl:if test="$q/attracc/attraccr[normalize-space()]">
      <h3>Attribute accuracy</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="$q/attracc/attraccr"/></xsl:call-template>
    </xsl:if>
    <xsl:if test="$q/logic[normalize-space()]">
      <h3>Logical consistency</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="$q/logic"/></xsl:call-template>
    </xsl:if>
    <xsl:if test="$q/complete[normalize-space()]">
      <h3>Completeness</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="$q/complete"/></xsl:call-template>
    </xsl:if>
    <xsl:if test="$q/posacc/horizpa/horizpar[normalize-space()]">
      <h3>Horizontal positional accuracy</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="$q/posacc/horizpa/horizpar"/></xsl:call-template>
    </xsl:if>
    <xsl:if test="$q/posacc/vertacc/vertaccr[normalize-space()]">
      <h3>Vertical positional accuracy</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="$q/posacc/vertacc/vertaccr"/></xsl:call-template>
    </xsl:if>
    <xsl:if test="$q/cloud[normalize-space()]">
      <h3>Cloud cover</h3>
      <p><xsl:value-of select="normalize-space($q/cloud)"/></p>
    </xsl:if>
    <xsl:for-each select="$root/dqInfo/dataLineage/statement[normalize-space()]">
      <h3>Lineage</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="."/></xsl:call-template>
    </xsl:for-each>
    <xsl:if test="$q/lineage/srcinfo | $root/dqInfo/dataLineage/dataSource">
      <h3>Sources</h3>
      <table class="data">
        <tr><th>Source</th><th>Scale</th><th>Contribution</th></tr>
        <xsl:for-each select="$q/lineage/srcinfo">
          <tr>
            <td class="name">
              <xsl:value-of select="normalize-space(srccite/citeinfo/title)"/>
              <span class="alias"><xsl:value-of select="normalize-space(srccitea)"/><xsl:if test="normalize-space(typesrc)"> &#183; <xsl:value-of select="normalize-space(typesrc)"/></xsl:if></span>
            </td>
            <td><xsl:value-of select="normalize-space(srcscale)"/></td>
            <td><xsl:value-of select="normalize-space(srccontr)"/></td>
          </tr>
        </xsl:for-each>
        <xsl:for-each select="$root/dqInfo/dataLineage/dataSource">
          <tr>
            <td class="name"><xsl:value-of select="normalize-space(srcCitatn/resTitle)"/></td>
            <td><xsl:value-of select="normalize-space(srcScale/rfDenom)"/></td>
            <td><xsl:value-of select="normalize-space(srcDesc)"/></td>
          </tr>
        </xsl:for-each>
      </table>
    </xsl:if>
    <xsl:if test="$q/lineage/procstep | $root/dqInfo/dataLineage/prcStep">
      <h3>Process steps</h3>
      <ol class="steps">
        <xsl:for-each select="$q/lineage/procstep">
          <li>
            <xsl:call-template name="text"><xsl:with-param name="value" select="procdesc"/></xsl:call-template>
            <div class="when">
              <xsl:call-template name="date"><xsl:with-param name="value" select="procdate"/></xsl:call-template>
              <xsl:if test="normalize-space(srcused)"> &#183; used <xsl:value-of select="normalize-space(srcused)"/></xsl:if>
              <xsl:if test="normalize-space(srcprod)"> &#183; produced <xsl:value-of select="normalize-space(srcprod)"/></xsl:if>
            </div>
          </li>
        </xsl:for-each>
        <xsl:for-each select="$root/dqInfo/dataLineage/prcStep">
          <li>
            <xsl:call-template name="text"><xsl:with-param name="value" select="stepDesc"/></xsl:call-template>
            <div class="when"><xsl:call-template name="date"><xsl:with-param name="value" select="stepDateTm"/></xsl:call-template></div>
          </li>
        </xsl:for-each>
      </ol>
    </xsl:if>
    <xsl:if test="$root/Esri/DataProperties/lineage/Process">
      <h3>Geoprocessing history</h3>
      <ol class="steps">
        <xsl:for-each select="$root/Esri/DataProperties/lineage/Process">
          <li>
            <b><xsl:value-of select="@Name"/></b>
            <xsl:if test="normalize-space(.)"><div class="small"><code><xsl:value-of select="normalize-space(.)"/></code></div></xsl:if>
            <div class="when">
              <xsl:call-template name="date"><xsl:with-param name="value" select="@Date"/></xsl:call-template>
              <xsl:if test="@Time"><xsl:text> </xsl:text><xsl:call-template name="time"><xsl:with-param name="value" select="@Time"/></xsl:call-template></xsl:if>
            </div>
          </li>
        </xsl:for-each>
      </ol>
    </xsl:if>
  </section>
</xsl:template>

<!-- ===== Entities and attributes =================================================== -->

<xsl:template name="section-entities">
  <section class="card" id="entities">
    <h2>Entities and attributes</h2>
    <xsl:for-each select="$root/eainfo/detailed">
      <h4>
        <xsl:choose>
          <xsl:when test="normalize-space(enttyp/enttypl)"><xsl:value-of select="normalize-space(enttyp/enttypl)"/></xsl:when>
          <xsl:otherwise>Entity <xsl:value-of select="position()"/></xsl:otherwise>
        </xsl:choose>
        <xsl:if test="normalize-space(enttyp/enttypc)"><span class="muted small"> &#183; <xsl:value-of select="normalize-space(enttyp/enttypc)"/> records</span></xsl:if>
      </h4>
      <xsl:if test="normalize-space(enttyp/enttypd)">
        <xsl:call-template name="text"><xsl:with-param name="value" select="enttyp/enttypd"/></xsl:call-template>
      </xsl:if>
      <xsl:if test="normalize-space(enttyp/enttypds)">
        <p class="muted small">Source: <xsl:value-of select="normalize-space(enttyp/enttypds)"/></p>
      </xsl:if>
      <xsl:if test="attr">
        <table class="data">
          <tr><th>Attribute</th><th>Type</th><th>Definition</th><th>Values</th></tr>
          <xsl:for-each select="attr">
            <tr>
              <td class="name">
                <xsl:value-of select="normalize-space(attrlabl)"/>
                <xsl:if test="normalize-space(attalias) and normalize-space(attalias) != normalize-space(attrlabl)">
                  <span class="alias"><xsl:value-of select="normalize-space(attalias)"/></span>
                </xsl:if>
              </td>
              <td>
                <xsl:value-of select="normalize-space(attrtype)"/>
                <xsl:if test="normalize-space(attwidth)"><span class="muted small"> (<xsl:value-of select="normalize-space(attwidth)"/><xsl:if test="normalize-space(atprecis) and atprecis != 0">, <xsl:value-of select="normalize-space(atprecis)"/></xsl:if><xsl:if test="normalize-space(attscale) and attscale != 0">, <xsl:value-of select="normalize-space(attscale)"/></xsl:if>)</span></xsl:if>
              </td>
              <td>
                <xsl:value-of select="normalize-space(attrdef)"/>
                <xsl:if test="normalize-space(attrdefs)"><span class="muted small"> &#8212; <xsl:value-of select="normalize-space(attrdefs)"/></span></xsl:if>
              </td>
              <td><xsl:call-template name="attribute-domain"/></td>
            </tr>
          </xsl:for-each>
        </table>
      </xsl:if>
    </xsl:for-each>
    <xsl:for-each select="$root/eainfo/overview[normalize-space()]">
      <h3>Overview</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="eaover"/></xsl:call-template>
      <xsl:if test="normalize-space(eadetcit)"><p class="muted small">Details: <xsl:value-of select="normalize-space(eadetcit)"/></p></xsl:if>
    </xsl:for-each>
  </section>
</xsl:template>

<xsl:template name="attribute-domain">
  <xsl:variable name="edom" select="attrdomv/edom[normalize-space()]"/>
  <xsl:for-each select="attrdomv/rdom[normalize-space()]">
    <div>
      <xsl:value-of select="normalize-space(rdommin)"/> &#8211; <xsl:value-of select="normalize-space(rdommax)"/>
      <xsl:if test="normalize-space(attrunit)"><xsl:text> </xsl:text><xsl:value-of select="normalize-space(attrunit)"/></xsl:if>
    </div>
  </xsl:for-each>
  <xsl:for-each select="attrdomv/codesetd[normalize-space()]">
    <div><xsl:value-of select="normalize-space(codesetn)"/><xsl:if test="normalize-space(codesets)"><span class="muted small"> (<xsl:value-of select="normalize-space(codesets)"/>)</span></xsl:if></div>
  </xsl:for-each>
  <xsl:for-each select="attrdomv/udom[normalize-space()]">
    <div><xsl:value-of select="normalize-space()"/></div>
  </xsl:for-each>
  <xsl:choose>
    <xsl:when test="count($edom) &gt; 6">
      <details>
        <summary><xsl:value-of select="count($edom)"/> values</summary>
        <xsl:call-template name="enumerated-values"><xsl:with-param name="values" select="$edom"/></xsl:call-template>
      </details>
    </xsl:when>
    <xsl:when test="$edom">
      <xsl:call-template name="enumerated-values"><xsl:with-param name="values" select="$edom"/></xsl:call-template>
    </xsl:when>
  </xsl:choose>
</xsl:template>

<xsl:template name="enumerated-values">
  <xsl:param name="values"/>
  <xsl:for-each select="$values">
    <div><code><xsl:value-of select="normalize-space(edomv)"/></code>
      <xsl:if test="normalize-space(edomvd)"><xsl:text> </xsl:text><xsl:value-of select="normalize-space(edomvd)"/></xsl:if></div>
  </xsl:for-each>
</xsl:template>

<!-- ===== Distribution ================================================================ -->

<xsl:template name="section-distribution">
  <section class="card" id="distribution">
    <h2>Distribution</h2>
    <xsl:variable name="links"
      select="$root/distinfo/stdorder/digform[digtopt/onlinopt/computer/networka/networkr[normalize-space()]] | $root/distInfo/distributor/distorTran/onLineSrc[linkage[normalize-space()]] | $root/distInfo/distTranOps/onLineSrc[linkage[normalize-space()]]"/>
    <xsl:if test="$links">
      <h3>Online</h3>
      <ul class="links">
        <xsl:for-each select="$links">
          <xsl:choose>
            <xsl:when test="self::digform">
              <xsl:for-each select="digtopt/onlinopt/computer/networka/networkr[normalize-space()]">
                <li>
                  <xsl:call-template name="link">
                    <xsl:with-param name="url" select="normalize-space(.)"/>
                    <xsl:with-param name="label" select="normalize-space(ancestor::digform/digtinfo/formname)"/>
                  </xsl:call-template>
                  <xsl:if test="normalize-space(ancestor::digform/digtinfo/formname)"><span class="desc"><xsl:value-of select="normalize-space(.)"/></span></xsl:if>
                </li>
              </xsl:for-each>
            </xsl:when>
            <xsl:otherwise>
              <li>
                <xsl:variable name="label">
                  <xsl:call-template name="pick">
                    <xsl:with-param name="a" select="orDesc"/>
                    <xsl:with-param name="b" select="orName"/>
                  </xsl:call-template>
                </xsl:variable>
                <xsl:call-template name="link">
                  <xsl:with-param name="url" select="normalize-space(linkage)"/>
                  <xsl:with-param name="label" select="$label"/>
                </xsl:call-template>
                <xsl:if test="normalize-space($label)"><span class="desc"><xsl:value-of select="normalize-space(linkage)"/></span></xsl:if>
              </li>
            </xsl:otherwise>
          </xsl:choose>
        </xsl:for-each>
      </ul>
    </xsl:if>
    <xsl:for-each select="$root/distinfo">
      <dl class="kv">
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Resource'"/><xsl:with-param name="value" select="resdesc"/></xsl:call-template>
        <xsl:for-each select="stdorder/digform/digtinfo[normalize-space(formname)][not(../digtopt/onlinopt/computer/networka/networkr[normalize-space()])]">
          <dt>Format</dt>
          <dd><xsl:value-of select="normalize-space(formname)"/><xsl:if test="normalize-space(formvern)"><xsl:text> </xsl:text><xsl:value-of select="normalize-space(formvern)"/></xsl:if><xsl:if test="normalize-space(transize)"><span class="muted"> &#183; <xsl:value-of select="normalize-space(transize)"/> MB</span></xsl:if></dd>
        </xsl:for-each>
        <xsl:for-each select="stdorder/digform/digtopt/offoptn[normalize-space()]">
          <dt>Offline media</dt>
          <dd><xsl:value-of select="normalize-space(offmedia)"/><xsl:if test="normalize-space(recfmt)"><span class="muted"> &#183; <xsl:value-of select="normalize-space(recfmt)"/></span></xsl:if></dd>
        </xsl:for-each>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Fees'"/><xsl:with-param name="value" select="stdorder/fees"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Ordering'"/><xsl:with-param name="value" select="stdorder/ordering"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Turnaround'"/><xsl:with-param name="value" select="stdorder/turnarnd"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Custom orders'"/><xsl:with-param name="value" select="custom"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Technical prerequisites'"/><xsl:with-param name="value" select="techpreq"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Available'"/><xsl:with-param name="value" select="availabl/timeinfo/sngdate/caldate"/></xsl:call-template>
      </dl>
      <xsl:if test="normalize-space(distliab)">
        <h3>Liability</h3>
        <xsl:call-template name="text"><xsl:with-param name="value" select="distliab"/></xsl:call-template>
      </xsl:if>
      <xsl:if test="distrib/cntinfo[normalize-space()]">
        <h3>Distributor</h3>
        <div class="grid2">
          <xsl:for-each select="distrib/cntinfo">
            <xsl:call-template name="fgdc-contact"/>
          </xsl:for-each>
        </div>
      </xsl:if>
    </xsl:for-each>
    <xsl:for-each select="$root/distInfo">
      <dl class="kv">
        <xsl:for-each select="distFormat[normalize-space()] | distributor/distorFormat[normalize-space()]">
          <dt>Format</dt>
          <dd><xsl:value-of select="normalize-space(formatName)"/><xsl:if test="normalize-space(formatVer)"><xsl:text> </xsl:text><xsl:value-of select="normalize-space(formatVer)"/></xsl:if></dd>
        </xsl:for-each>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Fees'"/><xsl:with-param name="value" select="distributor/distorOrdPrc/resFees"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Ordering'"/><xsl:with-param name="value" select="distributor/distorOrdPrc/ordInstr"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Transfer size'"/><xsl:with-param name="value" select="distTranOps/transSize | distributor/distorTran/transSize"/></xsl:call-template>
      </dl>
      <xsl:if test="distributor/distorCont[normalize-space()]">
        <h3>Distributor</h3>
        <div class="grid2">
          <xsl:for-each select="distributor/distorCont">
            <xsl:call-template name="iso-contact"/>
          </xsl:for-each>
        </div>
      </xsl:if>
    </xsl:for-each>
  </section>
</xsl:template>

<!-- ===== Contacts ===================================================================== -->

<xsl:template name="section-contacts">
  <section class="card" id="contacts">
    <h2>Contacts</h2>
    <div class="grid2">
      <xsl:for-each select="$idinfo/ptcontac/cntinfo">
        <xsl:call-template name="fgdc-contact"><xsl:with-param name="role" select="'Point of contact'"/></xsl:call-template>
      </xsl:for-each>
      <xsl:for-each select="$dii/idPoC">
        <xsl:call-template name="iso-contact"/>
      </xsl:for-each>
      <xsl:for-each select="$icite/citRespParty">
        <xsl:call-template name="iso-contact"/>
      </xsl:for-each>
    </div>
  </section>
</xsl:template>

<xsl:template name="fgdc-contact">
  <xsl:param name="role"/>
  <div class="contact">
    <xsl:if test="$role"><div class="role"><xsl:value-of select="$role"/></div></xsl:if>
    <xsl:variable name="person" select="normalize-space(cntperp/cntper | cntorgp/cntper)"/>
    <xsl:variable name="org" select="normalize-space(cntperp/cntorg | cntorgp/cntorg)"/>
    <div class="name">
      <xsl:choose>
        <xsl:when test="$person"><xsl:value-of select="$person"/></xsl:when>
        <xsl:otherwise><xsl:value-of select="$org"/></xsl:otherwise>
      </xsl:choose>
    </div>
    <xsl:if test="normalize-space(cntpos) or ($person and $org)">
      <div class="muted">
        <xsl:value-of select="normalize-space(cntpos)"/>
        <xsl:if test="normalize-space(cntpos) and $person and $org">, </xsl:if>
        <xsl:if test="$person"><xsl:value-of select="$org"/></xsl:if>
      </div>
    </xsl:if>
    <xsl:for-each select="cntaddr[normalize-space()]">
      <div class="small">
        <xsl:for-each select="address[normalize-space()]"><xsl:value-of select="normalize-space()"/><br/></xsl:for-each>
        <xsl:value-of select="normalize-space(city)"/>
        <xsl:if test="normalize-space(state)"><xsl:if test="normalize-space(city)">, </xsl:if><xsl:value-of select="normalize-space(state)"/></xsl:if>
        <xsl:if test="normalize-space(postal)"><xsl:text> </xsl:text><xsl:value-of select="normalize-space(postal)"/></xsl:if>
        <xsl:if test="normalize-space(country)"><br/><xsl:value-of select="normalize-space(country)"/></xsl:if>
      </div>
    </xsl:for-each>
    <xsl:for-each select="cntvoice[normalize-space()]"><div class="small">Phone <xsl:value-of select="normalize-space()"/></div></xsl:for-each>
    <xsl:for-each select="cntfax[normalize-space()]"><div class="small">Fax <xsl:value-of select="normalize-space()"/></div></xsl:for-each>
    <xsl:for-each select="cntemail[normalize-space()]">
      <div class="small"><xsl:call-template name="mail"><xsl:with-param name="address" select="normalize-space()"/></xsl:call-template></div>
    </xsl:for-each>
    <xsl:if test="normalize-space(hours)"><div class="small muted">Hours: <xsl:value-of select="normalize-space(hours)"/></div></xsl:if>
    <xsl:if test="normalize-space(cntinst)"><div class="small muted"><xsl:value-of select="normalize-space(cntinst)"/></div></xsl:if>
  </div>
</xsl:template>

<xsl:template name="iso-contact">
  <div class="contact">
    <xsl:if test="role/RoleCd/@value">
      <div class="role"><xsl:call-template name="role-code"><xsl:with-param name="code" select="role/RoleCd/@value"/></xsl:call-template></div>
    </xsl:if>
    <div class="name"><xsl:call-template name="party-name"/></div>
    <xsl:if test="normalize-space(rpPosName) or (normalize-space(rpIndName) and normalize-space(rpOrgName))">
      <div class="muted">
        <xsl:value-of select="normalize-space(rpPosName)"/>
        <xsl:if test="normalize-space(rpPosName) and normalize-space(rpIndName) and normalize-space(rpOrgName)">, </xsl:if>
        <xsl:if test="normalize-space(rpIndName)"><xsl:value-of select="normalize-space(rpOrgName)"/></xsl:if>
      </div>
    </xsl:if>
    <xsl:for-each select="rpCntInfo/cntAddress[normalize-space()]">
      <div class="small">
        <xsl:for-each select="delPoint[normalize-space()]"><xsl:value-of select="normalize-space()"/><br/></xsl:for-each>
        <xsl:value-of select="normalize-space(city)"/>
        <xsl:if test="normalize-space(adminArea)"><xsl:if test="normalize-space(city)">, </xsl:if><xsl:value-of select="normalize-space(adminArea)"/></xsl:if>
        <xsl:if test="normalize-space(postCode)"><xsl:text> </xsl:text><xsl:value-of select="normalize-space(postCode)"/></xsl:if>
        <xsl:if test="normalize-space(country)"><br/><xsl:value-of select="normalize-space(country)"/></xsl:if>
      </div>
    </xsl:for-each>
    <xsl:for-each select="rpCntInfo/cntPhone/voiceNum[normalize-space()]"><div class="small">Phone <xsl:value-of select="normalize-space()"/></div></xsl:for-each>
    <xsl:for-each select="rpCntInfo/cntPhone/faxNum[normalize-space()]"><div class="small">Fax <xsl:value-of select="normalize-space()"/></div></xsl:for-each>
    <xsl:for-each select="rpCntInfo/cntAddress/eMailAdd[normalize-space()]">
      <div class="small"><xsl:call-template name="mail"><xsl:with-param name="address" select="normalize-space()"/></xsl:call-template></div>
    </xsl:for-each>
    <xsl:for-each select="rpCntInfo/cntOnlineRes/linkage[normalize-space()]">
      <div class="small"><xsl:call-template name="link"><xsl:with-param name="url" select="normalize-space()"/></xsl:call-template></div>
    </xsl:for-each>
    <xsl:if test="normalize-space(rpCntInfo/cntHours)"><div class="small muted">Hours: <xsl:value-of select="normalize-space(rpCntInfo/cntHours)"/></div></xsl:if>
    <xsl:if test="normalize-space(rpCntInfo/cntInstr)"><div class="small muted"><xsl:value-of select="normalize-space(rpCntInfo/cntInstr)"/></div></xsl:if>
  </div>
</xsl:template>

<!-- The name of a party: a citation originator, an ISO responsible party. -->
<xsl:template name="party-name">
  <xsl:choose>
    <xsl:when test="self::origin"><xsl:value-of select="normalize-space()"/></xsl:when>
    <xsl:when test="normalize-space(rpIndName)"><xsl:value-of select="normalize-space(rpIndName)"/></xsl:when>
    <xsl:when test="normalize-space(rpOrgName)"><xsl:value-of select="normalize-space(rpOrgName)"/></xsl:when>
    <xsl:otherwise><xsl:value-of select="normalize-space(rpPosName)"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- ===== Constraints ================================================================== -->

<xsl:template name="section-constraints">
  <section class="card" id="constraints">
    <h2>Constraints</h2>
    <xsl:if test="normalize-space($idinfo/accconst)">
      <h3>Access</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="$idinfo/accconst"/></xsl:call-template>
    </xsl:if>
    <xsl:if test="normalize-space($idinfo/useconst)">
      <h3>Use</h3>
      <xsl:call-template name="text"><xsl:with-param name="value" select="$idinfo/useconst"/></xsl:call-template>
    </xsl:if>
    <xsl:for-each select="$dii/resConst/*">
      <xsl:for-each select="useLimit[normalize-space()]">
        <h3>Use limitation</h3>
        <xsl:call-template name="text"><xsl:with-param name="value" select="."/></xsl:call-template>
      </xsl:for-each>
      <xsl:for-each select="accessConsts/RestrictCd/@value | useConsts/RestrictCd/@value">
        <h3><xsl:choose><xsl:when test="../../self::accessConsts">Access restriction</xsl:when><xsl:otherwise>Use restriction</xsl:otherwise></xsl:choose></h3>
        <p><xsl:call-template name="restriction-code"><xsl:with-param name="code" select="."/></xsl:call-template></p>
      </xsl:for-each>
      <xsl:for-each select="othConsts[normalize-space()]">
        <h3>Other constraints</h3>
        <xsl:call-template name="text"><xsl:with-param name="value" select="."/></xsl:call-template>
      </xsl:for-each>
      <xsl:if test="class/ClasscationCd/@value or normalize-space(userNote)">
        <h3>Security</h3>
        <p><xsl:call-template name="classification-code"><xsl:with-param name="code" select="class/ClasscationCd/@value"/></xsl:call-template>
          <xsl:if test="normalize-space(userNote)"><span class="muted"> &#183; <xsl:value-of select="normalize-space(userNote)"/></span></xsl:if></p>
      </xsl:if>
    </xsl:for-each>
    <xsl:for-each select="$idinfo/secinfo[normalize-space()]">
      <h3>Security</h3>
      <dl class="kv">
        <xsl:call-template name="row"><xsl:with-param name="label" select="'System'"/><xsl:with-param name="value" select="secsys"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Classification'"/><xsl:with-param name="value" select="secclass"/></xsl:call-template>
        <xsl:call-template name="row"><xsl:with-param name="label" select="'Handling'"/><xsl:with-param name="value" select="sechandl"/></xsl:call-template>
      </dl>
    </xsl:for-each>
  </section>
</xsl:template>

<!-- ===== Metadata reference ============================================================ -->

<xsl:template name="section-metadata">
  <section class="card" id="metadata">
    <h2>Metadata reference</h2>
    <xsl:variable name="mi" select="$root/metainfo"/>
    <xsl:variable name="esri" select="$root/Esri"/>
    <dl class="kv">
      <xsl:call-template name="date-row"><xsl:with-param name="label" select="'Metadata date'"/><xsl:with-param name="value" select="$mi/metd | $root/mdDateSt[not($mi/metd)]"/></xsl:call-template>
      <xsl:call-template name="date-row"><xsl:with-param name="label" select="'Last review'"/><xsl:with-param name="value" select="$mi/metrd"/></xsl:call-template>
      <xsl:call-template name="date-row"><xsl:with-param name="label" select="'Next review'"/><xsl:with-param name="value" select="$mi/metfrd"/></xsl:call-template>
      <xsl:if test="$esri/CreaDate[normalize-space()]">
        <dt>Created</dt>
        <dd><xsl:call-template name="date"><xsl:with-param name="value" select="$esri/CreaDate"/></xsl:call-template><xsl:if test="normalize-space($esri/CreaTime)"><xsl:text> </xsl:text><xsl:call-template name="time"><xsl:with-param name="value" select="$esri/CreaTime"/></xsl:call-template></xsl:if></dd>
      </xsl:if>
      <xsl:if test="$esri/ModDate[normalize-space()]">
        <dt>Modified</dt>
        <dd><xsl:call-template name="date"><xsl:with-param name="value" select="$esri/ModDate"/></xsl:call-template><xsl:if test="normalize-space($esri/ModTime)"><xsl:text> </xsl:text><xsl:call-template name="time"><xsl:with-param name="value" select="$esri/ModTime"/></xsl:call-template></xsl:if></dd>
      </xsl:if>
      <xsl:if test="$esri/SyncDate[normalize-space()]">
        <dt>Synchronised</dt>
        <dd><xsl:call-template name="date"><xsl:with-param name="value" select="$esri/SyncDate"/></xsl:call-template><xsl:if test="normalize-space($esri/SyncTime)"><xsl:text> </xsl:text><xsl:call-template name="time"><xsl:with-param name="value" select="$esri/SyncTime"/></xsl:call-template></xsl:if></dd>
      </xsl:if>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Standard'"/><xsl:with-param name="value" select="$mi/metstdn | $root/mdStanName"/></xsl:call-template>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Standard version'"/><xsl:with-param name="value" select="$mi/metstdv | $root/mdStanVer"/></xsl:call-template>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Time convention'"/><xsl:with-param name="value" select="$mi/mettc"/></xsl:call-template>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Access constraints'"/><xsl:with-param name="value" select="$mi/metac"/></xsl:call-template>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Use constraints'"/><xsl:with-param name="value" select="$mi/metuc"/></xsl:call-template>
      <xsl:for-each select="$mi/metextns[normalize-space()]">
        <dt>Profile</dt>
        <dd><xsl:call-template name="link"><xsl:with-param name="url" select="normalize-space(onlink)"/><xsl:with-param name="label" select="normalize-space(metprof)"/></xsl:call-template></dd>
      </xsl:for-each>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Language'"/><xsl:with-param name="value" select="$root/mdLang/languageCode/@value"/></xsl:call-template>
      <xsl:for-each select="$root/mdChar/CharSetCd/@value">
        <dt>Character set</dt>
        <dd><xsl:call-template name="charset-code"><xsl:with-param name="code" select="."/></xsl:call-template></dd>
      </xsl:for-each>
      <xsl:for-each select="$root/mdHrLv/ScopeCd/@value">
        <dt>Describes</dt>
        <dd><xsl:call-template name="scope-code"><xsl:with-param name="code" select="."/></xsl:call-template></dd>
      </xsl:for-each>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'Identifier'"/><xsl:with-param name="value" select="$root/mdFileID | $esri/MetaID"/></xsl:call-template>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'ArcGIS format'"/><xsl:with-param name="value" select="$esri/ArcGISFormat"/></xsl:call-template>
      <xsl:call-template name="row"><xsl:with-param name="label" select="'ArcGIS profile'"/><xsl:with-param name="value" select="$esri/ArcGISProfile"/></xsl:call-template>
    </dl>
    <xsl:if test="$mi/metc/cntinfo[normalize-space()] or $root/mdContact">
      <h3>Metadata contact</h3>
      <div class="grid2">
        <xsl:for-each select="$mi/metc/cntinfo">
          <xsl:call-template name="fgdc-contact"/>
        </xsl:for-each>
        <xsl:for-each select="$root/mdContact">
          <xsl:call-template name="iso-contact"/>
        </xsl:for-each>
      </div>
    </xsl:if>
  </section>
</xsl:template>

<!-- ===== Building blocks =============================================================== -->

<!-- The first of a, b, c whose text is not blank, white space normalised. -->
<xsl:template name="pick">
  <xsl:param name="a"/>
  <xsl:param name="b"/>
  <xsl:param name="c"/>
  <xsl:choose>
    <xsl:when test="normalize-space($a)"><xsl:value-of select="normalize-space($a)"/></xsl:when>
    <xsl:when test="normalize-space($b)"><xsl:value-of select="normalize-space($b)"/></xsl:when>
    <xsl:otherwise><xsl:value-of select="normalize-space($c)"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- A label and value row of a definition list; nothing when the value is blank. -->
<xsl:template name="row">
  <xsl:param name="label"/>
  <xsl:param name="value"/>
  <xsl:if test="normalize-space($value)">
    <dt><xsl:value-of select="$label"/></dt>
    <dd><xsl:value-of select="normalize-space($value)"/></dd>
  </xsl:if>
</xsl:template>

<xsl:template name="date-row">
  <xsl:param name="label"/>
  <xsl:param name="value"/>
  <xsl:if test="normalize-space($value)">
    <dt><xsl:value-of select="$label"/></dt>
    <dd><xsl:call-template name="date"><xsl:with-param name="value" select="$value"/></xsl:call-template></dd>
  </xsl:if>
</xsl:template>

<!-- 20100827 as 2010-08-27, 201008 as 2010-08, an ISO date-time as its date. -->
<xsl:template name="date">
  <xsl:param name="value"/>
  <xsl:variable name="d" select="normalize-space($value)"/>
  <xsl:variable name="digits" select="translate($d, '0123456789', '') = ''"/>
  <xsl:choose>
    <xsl:when test="$digits and string-length($d) = 8">
      <xsl:value-of select="concat(substring($d, 1, 4), '-', substring($d, 5, 2), '-', substring($d, 7, 2))"/>
    </xsl:when>
    <xsl:when test="$digits and string-length($d) = 6">
      <xsl:value-of select="concat(substring($d, 1, 4), '-', substring($d, 5, 2))"/>
    </xsl:when>
    <xsl:when test="contains($d, 'T') and substring($d, 5, 1) = '-'">
      <xsl:variable name="time" select="substring-after($d, 'T')"/>
      <xsl:value-of select="substring-before($d, 'T')"/>
      <xsl:if test="$time != '' and not(starts-with($time, '00:00:00'))">
        <xsl:text> </xsl:text><xsl:value-of select="substring($time, 1, 5)"/>
      </xsl:if>
    </xsl:when>
    <xsl:otherwise><xsl:value-of select="$d"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- 13035200 (hours, minutes, seconds, hundredths) as 13:03:52. -->
<xsl:template name="time">
  <xsl:param name="value"/>
  <xsl:variable name="t" select="normalize-space($value)"/>
  <xsl:choose>
    <xsl:when test="translate($t, '0123456789', '') = '' and string-length($t) &gt;= 6">
      <xsl:value-of select="concat(substring($t, 1, 2), ':', substring($t, 3, 2), ':', substring($t, 5, 2))"/>
    </xsl:when>
    <xsl:when test="translate($t, '0123456789', '') = '' and string-length($t) = 4">
      <xsl:value-of select="concat(substring($t, 1, 2), ':', substring($t, 3, 2))"/>
    </xsl:when>
    <xsl:otherwise><xsl:value-of select="$t"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- A link for web addresses, plain text for anything else. -->
<xsl:template name="link">
  <xsl:param name="url"/>
  <xsl:param name="label"/>
  <xsl:variable name="shown">
    <xsl:choose>
      <xsl:when test="normalize-space($label)"><xsl:value-of select="normalize-space($label)"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="$url"/></xsl:otherwise>
    </xsl:choose>
  </xsl:variable>
  <xsl:choose>
    <xsl:when test="starts-with($url, 'http://') or starts-with($url, 'https://') or starts-with($url, 'ftp://')">
      <a href="{$url}"><xsl:value-of select="$shown"/></a>
    </xsl:when>
    <xsl:when test="starts-with($url, 'www.')">
      <a href="http://{$url}"><xsl:value-of select="$shown"/></a>
    </xsl:when>
    <xsl:otherwise><xsl:value-of select="$shown"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="mail">
  <xsl:param name="address"/>
  <xsl:choose>
    <xsl:when test="contains($address, '@') and not(contains($address, ' '))">
      <a href="mailto:{$address}"><xsl:value-of select="$address"/></a>
    </xsl:when>
    <xsl:otherwise><xsl:value-of select="$address"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- The first words of a text, about `length` characters, ended by an ellipsis. -->
<xsl:template name="shorten">
  <xsl:param name="text"/>
  <xsl:param name="length"/>
  <xsl:choose>
    <xsl:when test="string-length($text) &lt;= $length"><xsl:value-of select="$text"/></xsl:when>
    <xsl:otherwise>
      <xsl:variable name="head" select="substring($text, 1, $length)"/>
      <xsl:call-template name="before-last-space"><xsl:with-param name="text" select="$head"/></xsl:call-template>
      <xsl:text>&#8230;</xsl:text>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="before-last-space">
  <xsl:param name="text"/>
  <xsl:param name="done" select="''"/>
  <xsl:choose>
    <xsl:when test="contains($text, ' ')">
      <xsl:call-template name="before-last-space">
        <xsl:with-param name="text" select="substring-after($text, ' ')"/>
        <xsl:with-param name="done" select="concat($done, substring-before($text, ' '), ' ')"/>
      </xsl:call-template>
    </xsl:when>
    <xsl:when test="$done = ''"><xsl:value-of select="$text"/></xsl:when>
    <xsl:otherwise><xsl:value-of select="normalize-space($done)"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- Free text as paragraphs: blank lines separate paragraphs, other line
     breaks are the writer's wrapping. ArcGIS 10 stores some texts as HTML;
     their tags are dropped (a block tag ends a paragraph), never rendered. -->
<xsl:template name="text">
  <xsl:param name="value"/>
  <xsl:variable name="raw" select="translate(string($value), '&#13;', '')"/>
  <div class="text">
    <xsl:choose>
      <xsl:when test="starts-with(normalize-space($raw), '&lt;') and string-length($raw) - string-length(translate($raw, '&lt;', '')) &lt; 2000">
        <xsl:variable name="plain">
          <xsl:call-template name="strip-markup"><xsl:with-param name="text" select="$raw"/></xsl:call-template>
        </xsl:variable>
        <xsl:variable name="decoded">
          <xsl:call-template name="decode-entities"><xsl:with-param name="text" select="$plain"/></xsl:call-template>
        </xsl:variable>
        <xsl:call-template name="paragraphs"><xsl:with-param name="text" select="$decoded"/></xsl:call-template>
      </xsl:when>
      <xsl:otherwise>
        <xsl:call-template name="paragraphs"><xsl:with-param name="text" select="$raw"/></xsl:call-template>
      </xsl:otherwise>
    </xsl:choose>
  </div>
</xsl:template>

<xsl:template name="paragraphs">
  <xsl:param name="text"/>
  <xsl:param name="current" select="''"/>
  <xsl:choose>
    <!-- Too many lines for recursion: keep the text as one block. -->
    <xsl:when test="$current = '' and string-length($text) - string-length(translate($text, '&#10;', '')) &gt; 1500">
      <p style="white-space:pre-line"><xsl:value-of select="$text"/></p>
    </xsl:when>
    <xsl:when test="contains($text, '&#10;')">
      <xsl:variable name="line" select="normalize-space(substring-before($text, '&#10;'))"/>
      <xsl:choose>
        <xsl:when test="$line = ''">
          <xsl:if test="$current != ''">
            <p><xsl:call-template name="linkify"><xsl:with-param name="text" select="$current"/></xsl:call-template></p>
          </xsl:if>
          <xsl:call-template name="paragraphs">
            <xsl:with-param name="text" select="substring-after($text, '&#10;')"/>
          </xsl:call-template>
        </xsl:when>
        <xsl:otherwise>
          <xsl:call-template name="paragraphs">
            <xsl:with-param name="text" select="substring-after($text, '&#10;')"/>
            <xsl:with-param name="current" select="normalize-space(concat($current, ' ', $line))"/>
          </xsl:call-template>
        </xsl:otherwise>
      </xsl:choose>
    </xsl:when>
    <xsl:otherwise>
      <xsl:variable name="last" select="normalize-space(concat($current, ' ', $text))"/>
      <xsl:if test="$last != ''">
        <p><xsl:call-template name="linkify"><xsl:with-param name="text" select="$last"/></xsl:call-template></p>
      </xsl:if>
    </xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- Web addresses in running text become links. -->
<xsl:template name="linkify">
  <xsl:param name="text"/>
  <xsl:variable name="scheme">
    <xsl:choose>
      <xsl:when test="contains($text, 'https://') and (not(contains($text, 'http://')) or string-length(substring-before($text, 'https://')) &lt; string-length(substring-before($text, 'http://')))">https://</xsl:when>
      <xsl:when test="contains($text, 'http://')">http://</xsl:when>
    </xsl:choose>
  </xsl:variable>
  <xsl:choose>
    <xsl:when test="$scheme != ''">
      <xsl:value-of select="substring-before($text, $scheme)"/>
      <xsl:variable name="rest" select="substring-after($text, $scheme)"/>
      <xsl:variable name="word">
        <xsl:choose>
          <xsl:when test="contains($rest, ' ')"><xsl:value-of select="substring-before($rest, ' ')"/></xsl:when>
          <xsl:otherwise><xsl:value-of select="$rest"/></xsl:otherwise>
        </xsl:choose>
      </xsl:variable>
      <!-- Punctuation after an address belongs to the sentence. -->
      <xsl:variable name="last" select="substring($word, string-length($word), 1)"/>
      <xsl:variable name="address">
        <xsl:choose>
          <xsl:when test="contains('.,;:)]', $last)"><xsl:value-of select="substring($word, 1, string-length($word) - 1)"/></xsl:when>
          <xsl:otherwise><xsl:value-of select="$word"/></xsl:otherwise>
        </xsl:choose>
      </xsl:variable>
      <a href="{concat($scheme, $address)}"><xsl:value-of select="concat($scheme, $address)"/></a>
      <xsl:call-template name="linkify">
        <xsl:with-param name="text" select="substring($rest, string-length($address) + 1)"/>
      </xsl:call-template>
    </xsl:when>
    <xsl:otherwise><xsl:value-of select="$text"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="strip-markup">
  <xsl:param name="text"/>
  <xsl:choose>
    <xsl:when test="contains($text, '&lt;') and contains(substring-after($text, '&lt;'), '&gt;')">
      <xsl:value-of select="substring-before($text, '&lt;')"/>
      <xsl:variable name="tag" select="translate(substring-before(substring-after($text, '&lt;'), '&gt;'), 'abcdefghijklmnopqrstuvwxyz', 'ABCDEFGHIJKLMNOPQRSTUVWXYZ')"/>
      <xsl:variable name="name" select="translate(concat(substring-before(concat($tag, ' '), ' '), ''), '/', '')"/>
      <xsl:if test="$name = 'P' or $name = 'DIV' or $name = 'BR' or $name = 'LI' or $name = 'UL' or $name = 'OL' or $name = 'TR' or $name = 'H1' or $name = 'H2' or $name = 'H3' or $name = 'H4'">
        <xsl:text>&#10;&#10;</xsl:text>
      </xsl:if>
      <xsl:call-template name="strip-markup">
        <xsl:with-param name="text" select="substring-after(substring-after($text, '&lt;'), '&gt;')"/>
      </xsl:call-template>
    </xsl:when>
    <xsl:otherwise><xsl:value-of select="$text"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="decode-entities">
  <xsl:param name="text"/>
  <xsl:variable name="a"><xsl:call-template name="replace"><xsl:with-param name="text" select="$text"/><xsl:with-param name="from" select="'&amp;nbsp;'"/><xsl:with-param name="to" select="' '"/></xsl:call-template></xsl:variable>
  <xsl:variable name="b"><xsl:call-template name="replace"><xsl:with-param name="text" select="$a"/><xsl:with-param name="from" select="'&amp;quot;'"/><xsl:with-param name="to" select="'&quot;'"/></xsl:call-template></xsl:variable>
  <xsl:variable name="c"><xsl:call-template name="replace"><xsl:with-param name="text" select="$b"/><xsl:with-param name="from" select="'&amp;lt;'"/><xsl:with-param name="to" select="'&lt;'"/></xsl:call-template></xsl:variable>
  <xsl:variable name="d"><xsl:call-template name="replace"><xsl:with-param name="text" select="$c"/><xsl:with-param name="from" select="'&amp;gt;'"/><xsl:with-param name="to" select="'&gt;'"/></xsl:call-template></xsl:variable>
  <xsl:variable name="e"><xsl:call-template name="replace"><xsl:with-param name="text" select="$d"/><xsl:with-param name="from" select="'&amp;#39;'"/><xsl:with-param name="to" select='"&apos;"'/></xsl:call-template></xsl:variable>
  <xsl:call-template name="replace"><xsl:with-param name="text" select="$e"/><xsl:with-param name="from" select="'&amp;amp;'"/><xsl:with-param name="to" select="'&amp;'"/></xsl:call-template>
</xsl:template>

<xsl:template name="replace">
  <xsl:param name="text"/>
  <xsl:param name="from"/>
  <xsl:param name="to"/>
  <xsl:choose>
    <xsl:when test="contains($text, $from)">
      <xsl:value-of select="concat(substring-before($text, $from), $to)"/>
      <xsl:call-template name="replace">
        <xsl:with-param name="text" select="substring-after($text, $from)"/>
        <xsl:with-param name="from" select="$from"/>
        <xsl:with-param name="to" select="$to"/>
      </xsl:call-template>
    </xsl:when>
    <xsl:otherwise><xsl:value-of select="$text"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- ===== Code lists of ArcGIS 10 documents ================================================ -->

<xsl:template name="role-code">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code = '001'">Resource provider</xsl:when>
    <xsl:when test="$code = '002'">Custodian</xsl:when>
    <xsl:when test="$code = '003'">Owner</xsl:when>
    <xsl:when test="$code = '004'">User</xsl:when>
    <xsl:when test="$code = '005'">Distributor</xsl:when>
    <xsl:when test="$code = '006'">Originator</xsl:when>
    <xsl:when test="$code = '007'">Point of contact</xsl:when>
    <xsl:when test="$code = '008'">Principal investigator</xsl:when>
    <xsl:when test="$code = '009'">Processor</xsl:when>
    <xsl:when test="$code = '010'">Publisher</xsl:when>
    <xsl:when test="$code = '011'">Author</xsl:when>
    <xsl:when test="$code = '012'">Collaborator</xsl:when>
    <xsl:when test="$code = '013'">Editor</xsl:when>
    <xsl:when test="$code = '014'">Mediator</xsl:when>
    <xsl:when test="$code = '015'">Rights holder</xsl:when>
    <xsl:when test="normalize-space($code)">Role <xsl:value-of select="$code"/></xsl:when>
    <xsl:otherwise>Contact</xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="progress-code">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code = '001'">Completed</xsl:when>
    <xsl:when test="$code = '002'">Historical archive</xsl:when>
    <xsl:when test="$code = '003'">Obsolete</xsl:when>
    <xsl:when test="$code = '004'">On-going</xsl:when>
    <xsl:when test="$code = '005'">Planned</xsl:when>
    <xsl:when test="$code = '006'">Required</xsl:when>
    <xsl:when test="$code = '007'">Under development</xsl:when>
    <xsl:otherwise><xsl:value-of select="$code"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="frequency-code">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code = '001'">Continual</xsl:when>
    <xsl:when test="$code = '002'">Daily</xsl:when>
    <xsl:when test="$code = '003'">Weekly</xsl:when>
    <xsl:when test="$code = '004'">Fortnightly</xsl:when>
    <xsl:when test="$code = '005'">Monthly</xsl:when>
    <xsl:when test="$code = '006'">Quarterly</xsl:when>
    <xsl:when test="$code = '007'">Twice a year</xsl:when>
    <xsl:when test="$code = '008'">Annually</xsl:when>
    <xsl:when test="$code = '009'">As needed</xsl:when>
    <xsl:when test="$code = '010'">Irregular</xsl:when>
    <xsl:when test="$code = '011'">Not planned</xsl:when>
    <xsl:when test="$code = '012' or $code = '997' or $code = '998' or $code = '999'">Unknown</xsl:when>
    <xsl:otherwise><xsl:value-of select="$code"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="topic-code">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code = '001'">Farming</xsl:when>
    <xsl:when test="$code = '002'">Biota</xsl:when>
    <xsl:when test="$code = '003'">Boundaries</xsl:when>
    <xsl:when test="$code = '004'">Climatology, meteorology, atmosphere</xsl:when>
    <xsl:when test="$code = '005'">Economy</xsl:when>
    <xsl:when test="$code = '006'">Elevation</xsl:when>
    <xsl:when test="$code = '007'">Environment</xsl:when>
    <xsl:when test="$code = '008'">Geoscientific information</xsl:when>
    <xsl:when test="$code = '009'">Health</xsl:when>
    <xsl:when test="$code = '010'">Imagery, base maps, earth cover</xsl:when>
    <xsl:when test="$code = '011'">Intelligence, military</xsl:when>
    <xsl:when test="$code = '012'">Inland waters</xsl:when>
    <xsl:when test="$code = '013'">Location</xsl:when>
    <xsl:when test="$code = '014'">Oceans</xsl:when>
    <xsl:when test="$code = '015'">Planning, cadastre</xsl:when>
    <xsl:when test="$code = '016'">Society</xsl:when>
    <xsl:when test="$code = '017'">Structure</xsl:when>
    <xsl:when test="$code = '018'">Transportation</xsl:when>
    <xsl:when test="$code = '019'">Utilities, communication</xsl:when>
    <xsl:otherwise><xsl:value-of select="$code"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="presentation-form">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code = '001'">Digital document</xsl:when>
    <xsl:when test="$code = '002'">Hardcopy document</xsl:when>
    <xsl:when test="$code = '003'">Digital image</xsl:when>
    <xsl:when test="$code = '004'">Hardcopy image</xsl:when>
    <xsl:when test="$code = '005'">Digital map</xsl:when>
    <xsl:when test="$code = '006'">Hardcopy map</xsl:when>
    <xsl:when test="$code = '007'">Digital model</xsl:when>
    <xsl:when test="$code = '008'">Hardcopy model</xsl:when>
    <xsl:when test="$code = '009'">Digital profile</xsl:when>
    <xsl:when test="$code = '010'">Hardcopy profile</xsl:when>
    <xsl:when test="$code = '011'">Digital table</xsl:when>
    <xsl:when test="$code = '012'">Hardcopy table</xsl:when>
    <xsl:when test="$code = '013'">Digital video</xsl:when>
    <xsl:when test="$code = '014'">Hardcopy video</xsl:when>
    <xsl:otherwise><xsl:value-of select="$code"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="charset-code">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code = '001'">UCS-2</xsl:when>
    <xsl:when test="$code = '002'">UCS-4</xsl:when>
    <xsl:when test="$code = '003'">UTF-7</xsl:when>
    <xsl:when test="$code = '004'">UTF-8</xsl:when>
    <xsl:when test="$code = '005'">UTF-16</xsl:when>
    <xsl:when test="$code = '006'">ISO 8859-1</xsl:when>
    <xsl:when test="$code = '020'">US-ASCII</xsl:when>
    <xsl:otherwise><xsl:value-of select="$code"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="scope-code">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code = '001'">Attribute</xsl:when>
    <xsl:when test="$code = '002'">Attribute type</xsl:when>
    <xsl:when test="$code = '005'">Dataset</xsl:when>
    <xsl:when test="$code = '006'">Series</xsl:when>
    <xsl:when test="$code = '007'">Non-geographic dataset</xsl:when>
    <xsl:when test="$code = '009'">Feature</xsl:when>
    <xsl:when test="$code = '010'">Feature type</xsl:when>
    <xsl:when test="$code = '013'">Software</xsl:when>
    <xsl:when test="$code = '014'">Service</xsl:when>
    <xsl:when test="$code = '015'">Model</xsl:when>
    <xsl:when test="$code = '016'">Tile</xsl:when>
    <xsl:otherwise><xsl:value-of select="$code"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="restriction-code">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code = '001'">Copyright</xsl:when>
    <xsl:when test="$code = '002'">Patent</xsl:when>
    <xsl:when test="$code = '003'">Patent pending</xsl:when>
    <xsl:when test="$code = '004'">Trademark</xsl:when>
    <xsl:when test="$code = '005'">Licence</xsl:when>
    <xsl:when test="$code = '006'">Intellectual property rights</xsl:when>
    <xsl:when test="$code = '007'">Restricted</xsl:when>
    <xsl:when test="$code = '008'">Other restrictions</xsl:when>
    <xsl:otherwise><xsl:value-of select="$code"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="classification-code">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code = '001'">Unclassified</xsl:when>
    <xsl:when test="$code = '002'">Restricted</xsl:when>
    <xsl:when test="$code = '003'">Confidential</xsl:when>
    <xsl:when test="$code = '004'">Secret</xsl:when>
    <xsl:when test="$code = '005'">Top secret</xsl:when>
    <xsl:otherwise><xsl:value-of select="$code"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="geometry-code">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code = '001'">Complex</xsl:when>
    <xsl:when test="$code = '002'">Composite</xsl:when>
    <xsl:when test="$code = '003'">Curve</xsl:when>
    <xsl:when test="$code = '004'">Point</xsl:when>
    <xsl:when test="$code = '005'">Solid</xsl:when>
    <xsl:when test="$code = '006'">Surface</xsl:when>
    <xsl:otherwise><xsl:value-of select="$code"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="dimension-code">
  <xsl:param name="code"/>
  <xsl:choose>
    <xsl:when test="$code = '001'">Rows</xsl:when>
    <xsl:when test="$code = '002'">Columns</xsl:when>
    <xsl:when test="$code = '003'">Vertical</xsl:when>
    <xsl:when test="$code = '004'">Track</xsl:when>
    <xsl:when test="$code = '005'">Cross track</xsl:when>
    <xsl:when test="$code = '006'">Line</xsl:when>
    <xsl:when test="$code = '007'">Sample</xsl:when>
    <xsl:when test="$code = '008'">Time</xsl:when>
    <xsl:otherwise>Dimension <xsl:value-of select="$code"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- ===== Documents of the ISO standards ==================================
  ISO 19139 (gmd, gco, gmx; gmi for imagery) and ISO 19115-3 (mdb, mri, cit,
  gex ... of any version), also wrapped in a catalogue's answer, get a page
  of their own; every other document goes to the template in mode "esri".
  The two standards name their elements alike: elements are found by local
  name, in the standards' namespaces. $iso-detail: every section, or one
  screen. This part is the same in both shipped stylesheets (each page
  needs nothing from outside, not even a file included beside it). -->

<!-- The metadata element: the root, or a child of the root (a catalogue's answer). -->
<xsl:variable name="iso-md"
  select="((/* | /*/*)[local-name() = 'MD_Metadata' or local-name() = 'MI_Metadata']
           [namespace-uri() = 'http://www.isotc211.org/2005/gmd' or namespace-uri() = 'http://www.isotc211.org/2005/gmi'
            or starts-with(namespace-uri(), 'http://standards.iso.org/iso/19115/-3/mdb/')])[1]"/>
<xsl:variable name="iso-id" select="$iso-md/*[local-name() = 'identificationInfo']/*[1]"/>
<xsl:variable name="iso-cite" select="$iso-id/*[local-name() = 'citation']/*[1]"/>
<xsl:variable name="iso-title">
  <xsl:call-template name="iso-text"><xsl:with-param name="node" select="$iso-cite/*[local-name() = 'title']"/></xsl:call-template>
</xsl:variable>
<xsl:variable name="iso-keyword-sets" select="$iso-id/*[local-name() = 'descriptiveKeywords']/*[local-name() = 'MD_Keywords']"/>
<xsl:variable name="iso-extents" select="$iso-id/*[local-name() = 'extent']/*[local-name() = 'EX_Extent']"/>
<xsl:variable name="iso-box"
  select="($iso-extents/*[local-name() = 'geographicElement']/*[local-name() = 'EX_GeographicBoundingBox'])[1]"/>
<!-- Parties: ISO 19139's CI_ResponsibleParty, ISO 19115-3's CI_Responsibility. -->
<xsl:variable name="iso-parties"
  select="$iso-cite/*[local-name() = 'citedResponsibleParty']/* | $iso-id/*[local-name() = 'pointOfContact']/*
          | $iso-md/*[local-name() = 'contact']/*"/>

<xsl:template match="/">
  <xsl:choose>
    <xsl:when test="$iso-md"><xsl:call-template name="iso-page"/></xsl:when>
    <xsl:otherwise><xsl:apply-templates select="/" mode="esri"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="iso-page">
  <html lang="en">
    <head>
      <meta charset="utf-8"/>
      <meta name="viewport" content="width=device-width, initial-scale=1"/>
      <title>
        <xsl:choose>
          <xsl:when test="normalize-space($iso-title)"><xsl:value-of select="$iso-title"/></xsl:when>
          <xsl:otherwise>ISO metadata</xsl:otherwise>
        </xsl:choose>
      </title>
      <style><xsl:call-template name="iso-css"/></style>
    </head>
    <body>
      <main class="sheet">
        <header class="head">
          <div class="kicker">
            <xsl:choose>
              <xsl:when test="starts-with(namespace-uri($iso-md), 'http://standards.iso.org/')">ISO 19115-3</xsl:when>
              <xsl:otherwise>ISO 19139</xsl:otherwise>
            </xsl:choose>
            <xsl:variable name="scope" select="$iso-md/*[local-name() = 'hierarchyLevel' or local-name() = 'metadataScope']//@codeListValue"/>
            <xsl:if test="$scope"> &#183; <xsl:value-of select="$scope[1]"/></xsl:if>
          </div>
          <h1>
            <xsl:choose>
              <xsl:when test="normalize-space($iso-title)"><xsl:value-of select="$iso-title"/></xsl:when>
              <xsl:otherwise><span class="muted">Untitled data set</span></xsl:otherwise>
            </xsl:choose>
          </h1>
          <ul class="facts">
            <xsl:variable name="originators" select="$iso-parties[*[local-name() = 'role']/*/@codeListValue = 'originator']"/>
            <xsl:if test="$originators">
              <li>By <b>
                <xsl:for-each select="$originators">
                  <xsl:if test="position() &gt; 1">, </xsl:if>
                  <xsl:call-template name="iso-party-name"/>
                </xsl:for-each>
              </b></li>
            </xsl:if>
            <xsl:for-each select="$iso-cite/*[local-name() = 'date']/*[local-name() = 'CI_Date']">
              <li>
                <xsl:call-template name="iso-code-words">
                  <xsl:with-param name="code" select="*[local-name() = 'dateType']/*/@codeListValue"/>
                </xsl:call-template>
                <xsl:text> </xsl:text>
                <b><xsl:value-of select="substring(normalize-space(*[local-name() = 'date']), 1, 10)"/></b>
              </li>
            </xsl:for-each>
          </ul>
        </header>

        <div class="body">
          <div class="left">
            <xsl:call-template name="iso-paragraph">
              <xsl:with-param name="heading">Abstract</xsl:with-param>
              <xsl:with-param name="node" select="$iso-id/*[local-name() = 'abstract']"/>
            </xsl:call-template>
            <xsl:call-template name="iso-paragraph">
              <xsl:with-param name="heading">Purpose</xsl:with-param>
              <xsl:with-param name="node" select="$iso-id/*[local-name() = 'purpose']"/>
            </xsl:call-template>
            <xsl:if test="$iso-keyword-sets or $iso-id/*[local-name() = 'topicCategory']">
              <h2>Keywords</h2>
              <div class="chips">
                <xsl:for-each select="$iso-id/*[local-name() = 'topicCategory']">
                  <span class="chip topic">
                    <xsl:call-template name="iso-code-words"><xsl:with-param name="code" select="normalize-space()"/></xsl:call-template>
                  </span>
                </xsl:for-each>
                <xsl:for-each select="$iso-keyword-sets/*[local-name() = 'keyword']">
                  <span class="chip">
                    <xsl:if test="../*[local-name() = 'type']/*/@codeListValue = 'place'">
                      <xsl:attribute name="class">chip place</xsl:attribute>
                    </xsl:if>
                    <xsl:call-template name="iso-text"><xsl:with-param name="node" select="."/></xsl:call-template>
                  </span>
                </xsl:for-each>
              </div>
            </xsl:if>
            <xsl:if test="$iso-detail">
              <xsl:call-template name="iso-paragraph">
                <xsl:with-param name="heading">Lineage</xsl:with-param>
                <xsl:with-param name="node"
                  select="($iso-md/*[local-name() = 'dataQualityInfo']/*/*[local-name() = 'lineage'] | $iso-md/*[local-name() = 'resourceLineage'])/*/*[local-name() = 'statement']"/>
              </xsl:call-template>
              <xsl:variable name="constraints" select="$iso-id/*[local-name() = 'resourceConstraints']/*/*[local-name() = 'useLimitation' or local-name() = 'otherConstraints' or local-name() = 'classification']"/>
              <xsl:if test="$constraints">
                <h2>Constraints</h2>
                <ul class="plain">
                  <xsl:for-each select="$constraints">
                    <li><xsl:call-template name="iso-text"><xsl:with-param name="node" select="."/></xsl:call-template></li>
                  </xsl:for-each>
                </ul>
              </xsl:if>
              <xsl:variable name="links" select="$iso-md/*[local-name() = 'distributionInfo']//*[local-name() = 'CI_OnlineResource']"/>
              <xsl:if test="$links">
                <h2>Distribution</h2>
                <ul class="plain">
                  <xsl:for-each select="$links">
                    <xsl:variable name="url"><xsl:call-template name="iso-text"><xsl:with-param name="node" select="*[local-name() = 'linkage']"/></xsl:call-template></xsl:variable>
                    <xsl:variable name="name"><xsl:call-template name="iso-text"><xsl:with-param name="node" select="*[local-name() = 'name']"/></xsl:call-template></xsl:variable>
                    <li>
                      <xsl:if test="normalize-space($name)"><xsl:value-of select="$name"/>: </xsl:if>
                      <span class="url"><xsl:value-of select="$url"/></span>
                    </li>
                  </xsl:for-each>
                </ul>
              </xsl:if>
            </xsl:if>
          </div>

          <aside class="right">
            <xsl:if test="$iso-extents">
              <h2>Extent</h2>
              <xsl:if test="$iso-box">
                <xsl:variable name="w" select="normalize-space($iso-box/*[local-name() = 'westBoundLongitude'])"/>
                <xsl:variable name="e" select="normalize-space($iso-box/*[local-name() = 'eastBoundLongitude'])"/>
                <xsl:variable name="s" select="normalize-space($iso-box/*[local-name() = 'southBoundLatitude'])"/>
                <xsl:variable name="n" select="normalize-space($iso-box/*[local-name() = 'northBoundLatitude'])"/>
                <xsl:if test="string(number($w)) != 'NaN' and string(number($e)) != 'NaN' and string(number($s)) != 'NaN' and string(number($n)) != 'NaN'">
                  <xsl:call-template name="world-map">
                    <xsl:with-param name="w" select="number($w)"/>
                    <xsl:with-param name="e" select="number($e)"/>
                    <xsl:with-param name="s" select="number($s)"/>
                    <xsl:with-param name="n" select="number($n)"/>
                  </xsl:call-template>
                </xsl:if>
                <div class="coords">
                  <span><i>W</i><xsl:value-of select="$w"/>&#176;</span>
                  <span><i>E</i><xsl:value-of select="$e"/>&#176;</span>
                  <span><i>N</i><xsl:value-of select="$n"/>&#176;</span>
                  <span><i>S</i><xsl:value-of select="$s"/>&#176;</span>
                </div>
              </xsl:if>
              <xsl:for-each select="$iso-extents/*[local-name() = 'description']">
                <p class="note"><xsl:call-template name="iso-text"><xsl:with-param name="node" select="."/></xsl:call-template></p>
              </xsl:for-each>
              <xsl:for-each select="$iso-extents/*[local-name() = 'temporalElement']//*[local-name() = 'TimePeriod']">
                <p class="note">
                  <xsl:value-of select="substring(normalize-space(*[local-name() = 'beginPosition' or local-name() = 'begin']), 1, 10)"/>
                  <xsl:text> &#8211; </xsl:text>
                  <xsl:value-of select="substring(normalize-space(*[local-name() = 'endPosition' or local-name() = 'end']), 1, 10)"/>
                </p>
              </xsl:for-each>
            </xsl:if>
            <dl>
              <xsl:variable name="crs" select="$iso-md/*[local-name() = 'referenceSystemInfo']/*/*[local-name() = 'referenceSystemIdentifier']/*/*[local-name() = 'code']"/>
              <xsl:if test="$crs">
                <dt>Reference system</dt>
                <dd><xsl:call-template name="iso-text"><xsl:with-param name="node" select="$crs[1]"/></xsl:call-template></dd>
              </xsl:if>
              <xsl:variable name="scale" select="$iso-id/*[local-name() = 'spatialResolution']//*[local-name() = 'denominator']"/>
              <xsl:if test="$scale">
                <dt>Scale</dt>
                <dd>1:<xsl:value-of select="normalize-space($scale[1])"/></dd>
              </xsl:if>
              <xsl:variable name="language" select="($iso-md/*[local-name() = 'language'] | $iso-md/*[local-name() = 'defaultLocale']/*/*[local-name() = 'language'])[1]"/>
              <xsl:if test="$language">
                <dt>Language</dt>
                <dd><xsl:value-of select="normalize-space(($language//@codeListValue | $language)[1])"/></dd>
              </xsl:if>
              <xsl:variable name="identifier" select="$iso-md/*[local-name() = 'fileIdentifier' or local-name() = 'metadataIdentifier']"/>
              <xsl:if test="$identifier">
                <dt>Identifier</dt>
                <dd><xsl:value-of select="normalize-space($identifier[1])"/></dd>
              </xsl:if>
              <xsl:variable name="stamp" select="$iso-md/*[local-name() = 'dateStamp' or local-name() = 'dateInfo']"/>
              <xsl:if test="$stamp">
                <dt>Metadata date</dt>
                <dd><xsl:value-of select="substring(normalize-space(($stamp//*[local-name() = 'Date' or local-name() = 'DateTime'])[1]), 1, 10)"/></dd>
              </xsl:if>
            </dl>
            <xsl:if test="$iso-parties">
              <h2>Contacts</h2>
              <dl>
                <xsl:for-each select="$iso-parties">
                  <dt>
                    <xsl:call-template name="iso-code-words"><xsl:with-param name="code" select="*[local-name() = 'role']/*/@codeListValue"/></xsl:call-template>
                  </dt>
                  <dd>
                    <xsl:call-template name="iso-party-name"/>
                    <xsl:variable name="mail" select="(.//*[local-name() = 'electronicMailAddress'])[1]"/>
                    <xsl:if test="$mail and $iso-detail">
                      <br/><span class="url"><xsl:call-template name="iso-text"><xsl:with-param name="node" select="$mail"/></xsl:call-template></span>
                    </xsl:if>
                  </dd>
                </xsl:for-each>
              </dl>
            </xsl:if>
          </aside>
        </div>
        <footer>ISO metadata</footer>
      </main>
    </body>
  </html>
</xsl:template>

<!-- The text of a property: its CharacterString (or Anchor, a number, a
     date...) child, else what it holds. -->
<xsl:template name="iso-text">
  <xsl:param name="node"/>
  <xsl:variable name="value" select="$node[1]/*[local-name() = 'CharacterString' or local-name() = 'Anchor'][1]"/>
  <xsl:choose>
    <xsl:when test="$value"><xsl:value-of select="normalize-space($value)"/></xsl:when>
    <xsl:otherwise><xsl:value-of select="normalize-space($node[1])"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- A heading and the paragraph of a property, when it says something. -->
<xsl:template name="iso-paragraph">
  <xsl:param name="heading"/>
  <xsl:param name="node"/>
  <xsl:variable name="text"><xsl:call-template name="iso-text"><xsl:with-param name="node" select="$node"/></xsl:call-template></xsl:variable>
  <xsl:if test="normalize-space($text)">
    <h2><xsl:value-of select="$heading"/></h2>
    <p class="abstract"><xsl:value-of select="$text"/></p>
  </xsl:if>
</xsl:template>

<!-- The name of a party (the context node): its organisation and its
     person, as the standard of the document writes them. -->
<xsl:template name="iso-party-name">
  <xsl:variable name="names"
    select=".//*[local-name() = 'organisationName' or local-name() = 'individualName'
               or (local-name() = 'name' and (parent::*[local-name() = 'CI_Organisation' or local-name() = 'CI_Individual']))]"/>
  <xsl:for-each select="$names">
    <xsl:if test="position() &gt; 1">, </xsl:if>
    <xsl:call-template name="iso-text"><xsl:with-param name="node" select="."/></xsl:call-template>
  </xsl:for-each>
</xsl:template>

<!-- A code of the standards' lists in words: "pointOfContact" as "Point of contact". -->
<xsl:template name="iso-code-words">
  <xsl:param name="code"/>
  <xsl:param name="first" select="true()"/>
  <xsl:if test="string-length($code) &gt; 0">
    <xsl:variable name="c" select="substring($code, 1, 1)"/>
    <xsl:variable name="upper" select="'ABCDEFGHIJKLMNOPQRSTUVWXYZ'"/>
    <xsl:variable name="lower" select="'abcdefghijklmnopqrstuvwxyz'"/>
    <xsl:choose>
      <xsl:when test="$first"><xsl:value-of select="translate($c, $lower, $upper)"/></xsl:when>
      <xsl:when test="contains($upper, $c)"><xsl:value-of select="concat(' ', translate($c, $upper, $lower))"/></xsl:when>
      <xsl:otherwise><xsl:value-of select="$c"/></xsl:otherwise>
    </xsl:choose>
    <xsl:call-template name="iso-code-words">
      <xsl:with-param name="code" select="substring($code, 2)"/>
      <xsl:with-param name="first" select="false()"/>
    </xsl:call-template>
  </xsl:if>
</xsl:template>

<xsl:template name="iso-css">
:root{color-scheme:light dark;--bg:#f4f6f9;--card:#ffffff;--fg:#1c2330;--muted:#5f6b7d;--line:#e2e7ef;
--accent:#2563eb;--accent-soft:#e7efff;--chip:#eef2f7;--place:#e8f5ec;--sea:#eaf1fb;--land:#cfd9e6;--grid:#d5deea;--box:rgba(37,99,235,.22)}
@media (prefers-color-scheme:dark){:root{--bg:#0e1116;--card:#161b22;--fg:#e6e9ef;--muted:#98a3b3;--line:#2a313c;
--accent:#79a6ff;--accent-soft:#1b2740;--chip:#222a36;--place:#1d2e25;--sea:#111a27;--land:#2d3a4d;--grid:#233044;--box:rgba(121,166,255,.28)}}
*{box-sizing:border-box}
html{background:var(--bg)}
body{margin:0;color:var(--fg);font:14.5px/1.5 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans","Helvetica Neue",Arial,sans-serif}
.sheet{max-width:980px;margin:16px auto;background:var(--card);border:1px solid var(--line);border-radius:16px;padding:20px 24px 14px}
.head{padding-bottom:14px;border-bottom:1px solid var(--line)}
.kicker{text-transform:uppercase;font-size:11px;letter-spacing:.09em;color:var(--accent);font-weight:650;margin-bottom:4px}
h1{font-size:21px;line-height:1.25;margin:0 0 8px;font-weight:680;overflow-wrap:anywhere}
.facts{display:flex;flex-wrap:wrap;gap:2px 18px;color:var(--muted);font-size:13px;margin:0;padding:0;list-style:none}
.facts b{color:var(--fg);font-weight:600}
.body{display:grid;grid-template-columns:minmax(0,1.6fr) minmax(240px,1fr);gap:8px 28px;padding-top:6px}
h2{font-size:11.5px;text-transform:uppercase;letter-spacing:.08em;color:var(--muted);margin:14px 0 6px;font-weight:650}
.abstract{margin:0;overflow-wrap:anywhere;white-space:pre-line}
.chips{display:flex;flex-wrap:wrap;gap:5px}
.chip{background:var(--chip);border-radius:999px;padding:1px 10px;font-size:13px}
.chip.topic{background:var(--accent-soft);color:var(--accent)}
.chip.place{background:var(--place)}
ul.plain{margin:0;padding-left:18px}
.url{overflow-wrap:anywhere;color:var(--accent)}
.note{margin:6px 0 0;font-size:13px;color:var(--muted)}
svg.map{display:block;width:100%;height:auto;border:1px solid var(--line);border-radius:10px;background:var(--sea)}
svg.map .land{fill:var(--land)}
svg.map .grid{stroke:var(--grid);stroke-width:.6;fill:none}
svg.map .axis{stroke:var(--grid);stroke-width:1.2;fill:none}
svg.map .box{fill:var(--box);stroke:var(--accent);stroke-width:1.6}
svg.map .mark{fill:none;stroke:var(--accent);stroke-width:2}
.coords{display:grid;grid-template-columns:1fr 1fr;gap:2px 12px;margin-top:6px;font-size:13px;font-variant-numeric:tabular-nums}
.coords i{font-style:normal;color:var(--muted);display:inline-block;width:1.3em}
dl{display:grid;grid-template-columns:max-content minmax(0,1fr);gap:3px 14px;margin:10px 0 0;font-size:13.5px}
dt{color:var(--muted)}
dd{margin:0;overflow-wrap:anywhere}
.muted{color:var(--muted)}
footer{color:var(--muted);font-size:11.5px;text-align:right;margin-top:14px}
@media (max-width:640px){.body{grid-template-columns:1fr}.sheet{margin:0;border-radius:0}}
</xsl:template>

<!-- ===== End of the ISO part ============================================== -->

</xsl:stylesheet>
