#include "paramsmgr.h"

#include <activeappdir.h>
#include <testenv.h>

#include <QFile>

#include <gtest/gtest.h>

// The client's parameters come from params.ini beside the executable.

namespace {

class ParamsMgrTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(app.isValid()); }

    void writeParams(const QByteArray &ini) { app.writeFile(QStringLiteral("params.ini"), ini); }

    ActiveAppDir app;
    // The library's own copy of the installation contract (Windows) is pointed here too.
    testsupport::ScopedEnv appDirHook{"ORLUNE_STANDIN_APPDIR", QFile::encodeName(app.path()).constData()};
    const ParamsMgr *params = tqParamsMgr();
};

TEST_F(ParamsMgrTest, WithoutFileEveryValueTakesItsDefault)
{
    EXPECT_EQ(params->instanceId(), "Orlune");
    EXPECT_EQ(params->serviceName(), "Orlune_Server");
    EXPECT_EQ(params->manufacturers(), "Orlune");
    EXPECT_EQ(params->torvikServerIp(), "127.0.0.1");
    // The stand-in service's default web port, so that defaults on both sides meet.
    EXPECT_EQ(params->torvikServerPort(), 18080);
    EXPECT_EQ(params->webDebugPort(), 18091);
    EXPECT_EQ(params->DecodeProcessPort(), 18090);
    EXPECT_EQ(params->getProcessNum(), 4);
    EXPECT_FALSE(params->isOpenConsoleLog());
}

TEST_F(ParamsMgrTest, InstallationKeysAreReadFromTheProductSection)
{
    writeParams("[product]\nappName=Alpha\ninstanceId= Beta \nserviceName=Gamma Svc\n");
    EXPECT_EQ(params->instanceId(), "Beta");
    EXPECT_EQ(params->serviceName(), "Gamma Svc");
    EXPECT_EQ(params->manufacturers(), "Alpha");
}

TEST_F(ParamsMgrTest, ClientKeysAreReadAndBadNumbersFallBack)
{
    writeParams("[client]\nmanufacturers=Maker\ntorvikServerIp=10.0.0.7\ntorvikServerPort=9000\n"
                "webDebugPort=9333\ndecodeProcessPort=9444\nprocessNum=2\nopenConsoleLog=true\n");
    EXPECT_EQ(params->manufacturers(), "Maker");
    EXPECT_EQ(params->torvikServerIp(), "10.0.0.7");
    EXPECT_EQ(params->torvikServerPort(), 9000);
    EXPECT_EQ(params->webDebugPort(), 9333);
    EXPECT_EQ(params->DecodeProcessPort(), 9444);
    EXPECT_EQ(params->getProcessNum(), 2);
    EXPECT_TRUE(params->isOpenConsoleLog());

    writeParams("[client]\ntorvikServerPort=70000\nwebDebugPort=0\ndecodeProcessPort=port\nprocessNum=-3\n"
                "openConsoleLog=yes\n");
    EXPECT_EQ(params->torvikServerPort(), 18080);
    EXPECT_EQ(params->webDebugPort(), 18091);
    EXPECT_EQ(params->DecodeProcessPort(), 18090);
    EXPECT_EQ(params->getProcessNum(), 4);
    EXPECT_FALSE(params->isOpenConsoleLog());

    writeParams("[client]\nopenConsoleLog=1\n");
    EXPECT_TRUE(params->isOpenConsoleLog());
}

} // namespace
