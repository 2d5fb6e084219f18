#pragma once
// A program folder with a small configuration loaded (vector shp, raster tif
// and aux, table dbf, document pdf) and an empty folder for data trees.
#include <gtest/gtest.h>

#include "model/AtlasdeskOps.h"
#include "TestUtil.h"

class ModelFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        SetProgramFolder(m_program.path());
        testutil::writeFile(m_program / "AtlasdeskView.ini.xml", R"(<atlasdesk>
  <MetadataDOM><ASITVD><XML_Path>idinfo/citation/citeinfo/serinfo/issue</XML_Path></ASITVD></MetadataDOM>
  <filetypes>
    <vector><ext>shp</ext></vector>
    <raster><ext>tif</ext><ext>aux</ext></raster>
    <table><ext>dbf</ext></table>
    <document><ext>pdf</ext></document>
  </filetypes>
</atlasdesk>)");
        testutil::ChangeDir cd(m_program.path());
        LoadConfiguration();
        UserName = "tester";
    }
    void TearDown() override
    {
        ClearConfiguration();
        SetProgramFolder({});
    }
    testutil::TempDir m_program;
    testutil::TempDir m_tree;
};
