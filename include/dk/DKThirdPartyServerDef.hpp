// include/dk/DKThirdPartyServerDef.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkExport.hpp>

#include <cstdint>

// The address, credentials and file settings of a server outside the repository. A plain record:
// texts empty and numbers 0 when made; getters return copies. One thread at a time.
class DK_API DKThirdPartyServerDef {
public:
    DKThirdPartyServerDef();
    DKThirdPartyServerDef(const DKThirdPartyServerDef& other);
    DKThirdPartyServerDef& operator=(const DKThirdPartyServerDef& other);
    virtual ~DKThirdPartyServerDef();

    DKString getHostName() const { return hostName_; }
    void setHostName(DKString hostName) { hostName_ = hostName; }
    int getPort() const { return port_; }
    void setPort(int port) { port_ = port; }
    DKString getProtocol() const { return protocol_; }
    void setProtocol(DKString protocol) { protocol_ = protocol; }
    DKString getUserId() const { return userId_; }
    void setUserId(DKString userId) { userId_ = userId; }
    DKString getPassword() const { return password_; }
    void setPassword(DKString password) { password_ = password; }
    DKString getFilePath() const { return filePath_; }
    void setFilePath(DKString filePath) { filePath_ = filePath; }
    DKString getFileName() const { return fileName_; }
    void setFileName(DKString fileName) { fileName_ = fileName; }
    DKString getMimeType() const { return mimeType_; }
    void setMimeType(DKString mimeType) { mimeType_ = mimeType; }
    DKString getInputFileList() const { return inputFileList_; }
    void setInputFileList(DKString inputFileList) { inputFileList_ = inputFileList; }
    std::int64_t getInputContentLength() const { return inputContentLength_; }
    void setInputContentLength(std::int64_t length) { inputContentLength_ = length; }
    DKString getReplicaList() const { return replicaList_; }
    void setReplicaList(DKString replicaList) { replicaList_ = replicaList; }
    int getRetention() const { return retention_; }
    void setRetention(int retention) { retention_ = retention; }
    DKString getCreationDate() const { return creationDate_; }
    void setCreationDate(DKString creationDate) { creationDate_ = creationDate; }
    DKString getUpdateDate() const { return updateDate_; }
    void setUpdateDate(DKString updateDate) { updateDate_ = updateDate; }
    int isAsyncOperation() const { return asyncOperation_; }
    void setAsyncOperation(int asyncOperation) { asyncOperation_ = asyncOperation; }

private:
    DKString hostName_;
    int port_;
    DKString protocol_;
    DKString userId_;
    DKString password_;
    DKString filePath_;
    DKString fileName_;
    DKString mimeType_;
    DKString inputFileList_;
    std::int64_t inputContentLength_;
    DKString replicaList_;
    int retention_;
    DKString creationDate_;
    DKString updateDate_;
    int asyncOperation_;
};
