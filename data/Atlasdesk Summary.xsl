<?xml version="1.0" encoding="UTF-8"?>
<!--
  Atlasdesk Summary: one screen about a data set - title, thumbnail, the
  start of the abstract, keywords, extent, who made it and when.

  Reads ESRI-profile (FGDC CSDGM) documents and ArcGIS 10 style documents;
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

<xsl:variable name="iso-detail" select="false()"/>

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
<xsl:variable name="keywords"
  select="$idinfo/keywords/*/themekey[normalize-space()] | $idinfo/keywords/*/placekey[normalize-space()] | $dii/themeKeys/keyword[normalize-space()] | $dii/placeKeys/keyword[normalize-space()] | $dii/searchKeys/keyword[normalize-space()][not($dii/themeKeys/keyword[normalize-space()])]"/>
<xsl:variable name="box" select="($idinfo/spdom/bounding | $dii/dataExt/geoEle/GeoBndBox)[1]"/>

<xsl:template match="/" mode="esri">
  <html lang="en">
    <head>
      <meta charset="utf-8"/>
      <meta name="viewport" content="width=device-width, initial-scale=1"/>
      <title>
        <xsl:choose>
          <xsl:when test="normalize-space($title)"><xsl:value-of select="$title"/></xsl:when>
          <xsl:otherwise>Metadata summary</xsl:otherwise>
        </xsl:choose>
      </title>
      <style><xsl:call-template name="css"/></style>
    </head>
    <body>
      <main class="sheet">
        <header class="head">
          <xsl:if test="$thumbnail">
            <img class="thumb" src="{$thumbnail}" alt="Thumbnail"/>
          </xsl:if>
          <div class="titles">
            <xsl:variable name="form">
              <xsl:call-template name="pick">
                <xsl:with-param name="a" select="$icite/presForm/fgdcGeoform"/>
                <xsl:with-param name="b" select="$cite/geoform"/>
              </xsl:call-template>
            </xsl:variable>
            <xsl:if test="normalize-space($form)"><div class="kicker"><xsl:value-of select="$form"/></div></xsl:if>
            <h1>
              <xsl:choose>
                <xsl:when test="normalize-space($title)"><xsl:value-of select="$title"/></xsl:when>
                <xsl:otherwise><span class="muted">Untitled data set</span></xsl:otherwise>
              </xsl:choose>
            </h1>
            <xsl:call-template name="facts"/>
          </div>
        </header>

        <div class="body">
          <div class="left">
            <xsl:if test="$abstract">
              <h2>Abstract</h2>
              <p class="abstract">
                <xsl:variable name="plain">
                  <xsl:call-template name="plain-text"><xsl:with-param name="value" select="$abstract"/></xsl:call-template>
                </xsl:variable>
                <xsl:call-template name="shorten">
                  <xsl:with-param name="text" select="normalize-space($plain)"/>
                  <xsl:with-param name="length" select="520"/>
                </xsl:call-template>
              </p>
            </xsl:if>
            <xsl:if test="$keywords or $dii/tpCat/TopicCatCd">
              <h2>Keywords</h2>
              <div class="chips">
                <xsl:for-each select="$dii/tpCat/TopicCatCd">
                  <span class="chip topic"><xsl:call-template name="topic-code"><xsl:with-param name="code" select="@value"/></xsl:call-template></span>
                </xsl:for-each>
                <xsl:for-each select="$keywords">
                  <xsl:if test="position() &lt;= 16">
                    <span class="chip"><xsl:value-of select="normalize-space()"/></span>
                  </xsl:if>
                </xsl:for-each>
                <xsl:if test="count($keywords) &gt; 16">
                  <span class="chip more">+<xsl:value-of select="count($keywords) - 16"/> more</span>
                </xsl:if>
              </div>
            </xsl:if>
          </div>

          <aside class="right">
            <xsl:if test="$box">
              <h2>Extent</h2>
              <xsl:variable name="w" select="normalize-space($box/westbc | $box/westBL)"/>
              <xsl:variable name="e" select="normalize-space($box/eastbc | $box/eastBL)"/>
              <xsl:variable name="s" select="normalize-space($box/southbc | $box/southBL)"/>
              <xsl:variable name="n" select="normalize-space($box/northbc | $box/northBL)"/>
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
            <xsl:call-template name="who-and-when"/>
          </aside>
        </div>
        <footer>Atlasdesk Summary</footer>
      </main>
    </body>
  </html>
</xsl:template>

<xsl:template name="css">
:root{color-scheme:light dark;--bg:#f4f6f9;--card:#ffffff;--fg:#1c2330;--muted:#5f6b7d;--line:#e2e7ef;
--accent:#2563eb;--accent-soft:#e7efff;--chip:#eef2f7;--sea:#eaf1fb;--land:#cfd9e6;--grid:#d5deea;--box:rgba(37,99,235,.22)}
@media (prefers-color-scheme:dark){:root{--bg:#0e1116;--card:#161b22;--fg:#e6e9ef;--muted:#98a3b3;--line:#2a313c;
--accent:#79a6ff;--accent-soft:#1b2740;--chip:#222a36;--sea:#111a27;--land:#2d3a4d;--grid:#233044;--box:rgba(121,166,255,.28)}}
*{box-sizing:border-box}
html{background:var(--bg)}
body{margin:0;color:var(--fg);font:14.5px/1.5 system-ui,-apple-system,"Segoe UI",Roboto,"Noto Sans","Helvetica Neue",Arial,sans-serif;-webkit-font-smoothing:antialiased}
.sheet{max-width:980px;margin:16px auto;background:var(--card);border:1px solid var(--line);border-radius:16px;padding:20px 24px 14px}
.head{display:flex;gap:20px;align-items:center;padding-bottom:16px;border-bottom:1px solid var(--line)}
.thumb{flex:0 0 auto;max-width:170px;max-height:140px;width:auto;height:auto;border-radius:10px;border:1px solid var(--line);background:#fff}
.titles{min-width:0}
.kicker{text-transform:uppercase;font-size:11px;letter-spacing:.09em;color:var(--accent);font-weight:650;margin-bottom:4px}
h1{font-size:21px;line-height:1.25;margin:0 0 8px;font-weight:680;letter-spacing:-.01em;overflow-wrap:anywhere}
.facts{display:flex;flex-wrap:wrap;gap:2px 18px;color:var(--muted);font-size:13px;margin:0;padding:0;list-style:none}
.facts b{color:var(--fg);font-weight:600}
.body{display:grid;grid-template-columns:minmax(0,1.6fr) minmax(240px,1fr);gap:8px 28px;padding-top:6px}
h2{font-size:11.5px;text-transform:uppercase;letter-spacing:.08em;color:var(--muted);margin:14px 0 6px;font-weight:650}
.abstract{margin:0;overflow-wrap:anywhere}
.chips{display:flex;flex-wrap:wrap;gap:5px}
.chip{background:var(--chip);border-radius:999px;padding:1px 10px;font-size:13px}
.chip.topic{background:var(--accent-soft);color:var(--accent)}
.chip.more{background:transparent;color:var(--muted)}
svg.map{display:block;width:100%;height:auto;border:1px solid var(--line);border-radius:10px;background:var(--sea)}
svg.map .land{fill:var(--land)}
svg.map .grid{stroke:var(--grid);stroke-width:.6;fill:none}
svg.map .axis{stroke:var(--grid);stroke-width:1.2;fill:none}
svg.map .box{fill:var(--box);stroke:var(--accent);stroke-width:1.6}
svg.map .mark{fill:none;stroke:var(--accent);stroke-width:2}
.coords{display:grid;grid-template-columns:1fr 1fr;gap:2px 12px;margin-top:6px;font-size:13px;font-variant-numeric:tabular-nums}
.coords i{font-style:normal;color:var(--muted);display:inline-block;width:1.3em}
dl{display:grid;grid-template-columns:max-content minmax(0,1fr);gap:3px 14px;margin:0;font-size:13.5px}
dt{color:var(--muted)}
dd{margin:0;overflow-wrap:anywhere}
a{color:var(--accent);text-decoration:none}
.muted{color:var(--muted)}
footer{color:var(--muted);font-size:11.5px;text-align:right;margin-top:14px}
@media (max-width:640px){.body{grid-template-columns:1fr}.head{flex-direction:column;align-items:flex-start}.sheet{margin:0;border-radius:0}}
</xsl:template>

<xsl:template name="facts">
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
    <xsl:variable name="period" select="($idinfo/timeperd/timeinfo/rngdates | $dii/dataExt/tempEle/TempExtent/exTemp/TM_Period)[1]"/>
    <xsl:if test="$period[normalize-space()]">
      <li>Covers <b>
        <xsl:call-template name="date"><xsl:with-param name="value" select="$period/begdate | $period/tmBegin"/></xsl:call-template>
        <xsl:text> &#8211; </xsl:text>
        <xsl:call-template name="date"><xsl:with-param name="value" select="$period/enddate | $period/tmEnd"/></xsl:call-template>
      </b></li>
    </xsl:if>
    <xsl:variable name="progress">
      <xsl:choose>
        <xsl:when test="$dii/idStatus/ProgCd/@value = '001'">Completed</xsl:when>
        <xsl:when test="$dii/idStatus/ProgCd/@value = '004'">On-going</xsl:when>
        <xsl:when test="$dii/idStatus/ProgCd/@value = '005'">Planned</xsl:when>
        <xsl:when test="$dii/idStatus/ProgCd/@value = '007'">Under development</xsl:when>
        <xsl:otherwise><xsl:value-of select="normalize-space($idinfo/status/progress)"/></xsl:otherwise>
      </xsl:choose>
    </xsl:variable>
    <xsl:if test="normalize-space($progress)">
      <li>Status <b><xsl:value-of select="$progress"/></b></li>
    </xsl:if>
  </ul>
</xsl:template>

<xsl:template name="who-and-when">
  <xsl:variable name="fgdc" select="($idinfo/ptcontac/cntinfo | $root/metainfo/metc/cntinfo)[1]"/>
  <xsl:variable name="iso" select="($dii/idPoC | $root/mdContact)[1]"/>
  <xsl:variable name="esri" select="$root/Esri"/>
  <xsl:variable name="metadataDate" select="($root/metainfo/metd[normalize-space()] | $root/mdDateSt[normalize-space()])[1]"/>
  <xsl:if test="$fgdc or $iso or $metadataDate or $esri/ModDate[normalize-space()]">
    <h2>Who and when</h2>
    <dl>
      <xsl:choose>
        <xsl:when test="$iso">
          <xsl:variable name="name" select="normalize-space($iso/rpIndName)"/>
          <xsl:variable name="org" select="normalize-space($iso/rpOrgName)"/>
          <xsl:if test="$name or $org">
            <dt>Contact</dt>
            <dd><xsl:value-of select="$name"/><xsl:if test="$name and $org">, </xsl:if><xsl:value-of select="$org"/></dd>
          </xsl:if>
          <xsl:call-template name="mail-row"><xsl:with-param name="address" select="normalize-space($iso/rpCntInfo/cntAddress/eMailAdd)"/></xsl:call-template>
          <xsl:call-template name="row"><xsl:with-param name="label" select="'Phone'"/><xsl:with-param name="value" select="$iso/rpCntInfo/cntPhone/voiceNum"/></xsl:call-template>
        </xsl:when>
        <xsl:when test="$fgdc">
          <xsl:variable name="name" select="normalize-space($fgdc/cntperp/cntper | $fgdc/cntorgp/cntper)"/>
          <xsl:variable name="org" select="normalize-space($fgdc/cntperp/cntorg | $fgdc/cntorgp/cntorg)"/>
          <xsl:if test="$name or $org">
            <dt>Contact</dt>
            <dd><xsl:value-of select="$name"/><xsl:if test="$name and $org">, </xsl:if><xsl:value-of select="$org"/></dd>
          </xsl:if>
          <xsl:call-template name="mail-row"><xsl:with-param name="address" select="normalize-space($fgdc/cntemail)"/></xsl:call-template>
          <xsl:call-template name="row"><xsl:with-param name="label" select="'Phone'"/><xsl:with-param name="value" select="$fgdc/cntvoice"/></xsl:call-template>
        </xsl:when>
      </xsl:choose>
      <xsl:if test="$metadataDate">
        <dt>Metadata</dt>
        <dd><xsl:call-template name="date"><xsl:with-param name="value" select="$metadataDate"/></xsl:call-template></dd>
      </xsl:if>
      <xsl:if test="$esri/ModDate[normalize-space()]">
        <dt>Modified</dt>
        <dd><xsl:call-template name="date"><xsl:with-param name="value" select="$esri/ModDate"/></xsl:call-template></dd>
      </xsl:if>
    </dl>
  </xsl:if>
</xsl:template>

<xsl:template name="mail-row">
  <xsl:param name="address"/>
  <xsl:if test="$address">
    <dt>E-mail</dt>
    <dd>
      <xsl:choose>
        <xsl:when test="contains($address, '@') and not(contains($address, ' '))"><a href="mailto:{$address}"><xsl:value-of select="$address"/></a></xsl:when>
        <xsl:otherwise><xsl:value-of select="$address"/></xsl:otherwise>
      </xsl:choose>
    </dd>
  </xsl:if>
</xsl:template>

<!-- ===== Building blocks ============================================================ -->

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

<xsl:template name="row">
  <xsl:param name="label"/>
  <xsl:param name="value"/>
  <xsl:if test="normalize-space($value)">
    <dt><xsl:value-of select="$label"/></dt>
    <dd><xsl:value-of select="normalize-space($value)"/></dd>
  </xsl:if>
</xsl:template>

<xsl:template name="party-name">
  <xsl:choose>
    <xsl:when test="self::origin"><xsl:value-of select="normalize-space()"/></xsl:when>
    <xsl:when test="normalize-space(rpIndName)"><xsl:value-of select="normalize-space(rpIndName)"/></xsl:when>
    <xsl:otherwise><xsl:value-of select="normalize-space(rpOrgName)"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

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
    <xsl:when test="contains($d, 'T') and substring($d, 5, 1) = '-'"><xsl:value-of select="substring-before($d, 'T')"/></xsl:when>
    <xsl:otherwise><xsl:value-of select="$d"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<!-- The text of an element; the tags of ArcGIS 10 HTML-formatted texts dropped. -->
<xsl:template name="plain-text">
  <xsl:param name="value"/>
  <xsl:variable name="raw" select="string($value)"/>
  <xsl:choose>
    <xsl:when test="starts-with(normalize-space($raw), '&lt;') and string-length($raw) - string-length(translate($raw, '&lt;', '')) &lt; 2000">
      <xsl:call-template name="strip-markup"><xsl:with-param name="text" select="$raw"/></xsl:call-template>
    </xsl:when>
    <xsl:otherwise><xsl:value-of select="$raw"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="strip-markup">
  <xsl:param name="text"/>
  <xsl:choose>
    <xsl:when test="contains($text, '&lt;') and contains(substring-after($text, '&lt;'), '&gt;')">
      <xsl:value-of select="substring-before($text, '&lt;')"/>
      <xsl:text> </xsl:text>
      <xsl:call-template name="strip-markup">
        <xsl:with-param name="text" select="substring-after(substring-after($text, '&lt;'), '&gt;')"/>
      </xsl:call-template>
    </xsl:when>
    <xsl:otherwise><xsl:value-of select="$text"/></xsl:otherwise>
  </xsl:choose>
</xsl:template>

<xsl:template name="shorten">
  <xsl:param name="text"/>
  <xsl:param name="length"/>
  <xsl:choose>
    <xsl:when test="string-length($text) &lt;= $length"><xsl:value-of select="$text"/></xsl:when>
    <xsl:otherwise>
      <xsl:call-template name="before-last-space"><xsl:with-param name="text" select="substring($text, 1, $length)"/></xsl:call-template>
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

<!-- The box on a longitude/latitude grid with a coarse coastline; a box too
     small to see gets a ring around its centre. -->
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
