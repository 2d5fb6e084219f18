#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv)
{
    // Qt SQL and the indexer's signals need an application object.
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
