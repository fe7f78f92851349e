// include/dk/dkWorkFlowAction.hpp
#pragma once
#include <dk/DKString.hpp>
#include <dk/dkCollection.hpp>
#include <dk/dkDatastore.hpp>
#include <dk/dkExport.hpp>

#include <memory>

// The bases a connector derives its workflow definitions from: actions with an icon and a user
// exit, action lists and diagrams, all objects that a repository lets a client check out and in,
// and the workflow management entry point of a datastore. The bases keep the fields and move
// icons and diagrams between memory and files; every repository operation rejects with 341
// ("class::operation") until a connector overrides it. File failures are DKXDOError: 358 when a
// file cannot be opened or read, 360 when it cannot be opened for writing, 362 when not every
// byte reached it, including a failure that shows only when the file is closed. A file is
// closed on every path once opened.

// The owned bytes of an icon or a diagram text: `size()` bytes and a closing zero, or none (null).
// Copying copies the bytes, so two owners never share a buffer. One thread at a time.
class DK_API PWorkFlowBuffer {
public:
    PWorkFlowBuffer() = default;
    PWorkFlowBuffer(const PWorkFlowBuffer& other);
    PWorkFlowBuffer& operator=(const PWorkFlowBuffer& other);
    ~PWorkFlowBuffer();

    // Replaces the bytes with a copy of `size` bytes of `data` (which may lie in this buffer)
    // and a closing zero.
    void assign(const char* data, long size);
    void reset();
    const char* get() const { return data_.get(); }
    long size() const { return size_; }

private:
    std::unique_ptr<char[]> data_;
    long size_ = 0;
};

// What a repository lets a client check out, change and check in again. No state.
class DK_API dkCheckableObject {
public:
    virtual ~dkCheckableObject();
    virtual void checkin() = 0;
    virtual void checkout() = 0;
    virtual void unlockCheckedOut() = 0;
    virtual DKString getCheckedOutUserid() = 0;
};

// A workflow action: names, the user exit it runs and its icon. The action owns its icon buffer
// (icon data length bytes and a closing zero); copying an action copies the buffer, so two
// actions never share one. The datastore is not owned. One thread at a time.
class DK_API dkWorkFlowAction : public dkCheckableObject {
public:
    dkWorkFlowAction();
    explicit dkWorkFlowAction(dkDatastore* datastore);
    dkWorkFlowAction(dkDatastore* datastore, const char* name, const char* description);
    ~dkWorkFlowAction() override;

    void checkin() override;
    void checkout() override;
    void unlockCheckedOut() override;
    DKString getCheckedOutUserid() override;
    virtual DKString getItemId();
    virtual void setItemId(const char* itemId);
    virtual DKString getCompId();
    virtual void setCompId(const char* compId);
    // Reads the whole file ("rb") as the icon. A file of 0 bytes sets the length to 0 and keeps
    // the buffer set before.
    virtual void setIconDataFromFile(const char* fileName);
    // Writes icon data length bytes ("wb+"); when the buffer holds fewer, what it holds is
    // written and 362 follows.
    virtual void getIconDataToFile(const char* fileName) const;
    // Sets the length setIconData copies and getIconDataToFile writes; a negative length is 303.
    // The buffer is not touched.
    virtual void setIconDataLen(long length);
    virtual long getIconDataLen();
    // The icon buffer, still the action's (null when no icon was set).
    virtual const char* getIconData();
    // Copies exactly icon data length bytes of `data` and adds a closing zero; a null `data`
    // leaves no icon buffer. Set the length first.
    virtual void setIconData(const char* data);
    virtual long getWFUserExitFlag();
    virtual void setWFUserExitFlag(long flag);
    virtual DKString getWFUserExitClassName();
    virtual void setWFUserExitClassName(const char* className);
    virtual DKString getWFUserExitFunction();
    virtual void setWFUserExitFunction(const char* function);
    virtual DKString getWFUserExitDLL();
    virtual void setWFUserExitDLL(const char* library);
    virtual DKString getCommand();
    virtual void setCommand(const char* command);
    virtual DKString getWFUserExitURL();
    virtual void setWFUserExitURL(const char* url);
    virtual DKString getPrompt();
    virtual void setPrompt(const char* prompt);
    virtual DKString getShortcut();
    virtual void setShortcut(const char* shortcut);
    virtual DKString getAction();
    virtual void setAction(const char* action);
    virtual int isPredefined();
    virtual void setPredefined(int predefined);
    virtual void add();
    virtual void del();
    virtual void update();
    virtual void retrieve();
    virtual DKString getDescription();
    virtual DKString getName();
    virtual void setDescription(const char* description);
    virtual void setName(const char* name);
    virtual void setDatastore(dkDatastore* datastore);
    virtual dkDatastore* getDatastore();

private:
    DKString description_;
    DKString name_;
    dkDatastore* datastore_;   // not owned
    DKString itemId_;
    DKString compId_;
    PWorkFlowBuffer iconData_;   // may hold fewer bytes than the length says
    long iconDataLen_ = 0;
    DKString wfUserExitFunction_;
    DKString wfUserExitDLL_;
    DKString wfUserExitClassName_;
    DKString wfUserExitURL_;
    long wfUserExitFlag_ = 0;
    DKString prompt_;
    DKString shortcut_;
    DKString command_;
    int predefined_ = 0;
};

// A named list of workflow actions. The base holds only the names and ids; the actions and every
// repository operation belong to a connector (341 here). The datastore is not owned; copies are
// plain, since nothing is owned. One thread at a time.
class DK_API dkWorkFlowActionList : public dkCheckableObject {
public:
    dkWorkFlowActionList();
    explicit dkWorkFlowActionList(dkDatastore* datastore);
    dkWorkFlowActionList(dkDatastore* datastore, const char* name, const char* description);
    ~dkWorkFlowActionList() override;

    void checkin() override;
    void checkout() override;
    void unlockCheckedOut() override;
    DKString getCheckedOutUserid() override;
    virtual DKString getItemId();
    virtual void setItemId(const char* itemId);
    virtual DKString getCompId();
    virtual void setCompId(const char* compId);
    // The actions of the list; a connector's collection, the caller's.
    virtual dkCollection* getWorkFlowActions();
    virtual void addWorkFlowAction(dkWorkFlowAction* action);
    // A new array of `count` names, the caller's (delete[]).
    virtual DKString* listWorkFlowActionNames(long& count);
    virtual void removeAllWorkFlowActions();
    virtual void removeWorkFlowAction(const char* name);
    virtual void setWorkFlowActions(dkCollection* actions);
    virtual void add();
    virtual void del();
    virtual void update();
    virtual void retrieve();
    virtual void setDatastore(dkDatastore* datastore);
    virtual dkDatastore* getDatastore();
    virtual DKString getDescription();
    virtual DKString getName();
    virtual void setDescription(const char* description);
    virtual void setName(const char* name);

private:
    DKString itemId_;
    DKString compId_;
    dkDatastore* datastore_;   // not owned
    DKString name_;
    DKString description_;
};

// A workflow diagram: its names, the name of its access-control list and the diagram text. The
// diagram owns its text; copying a diagram copies the text. Diagram text is a C string: it ends
// at the first zero byte, so what follows a zero byte in a file is not kept. The datastore is
// not owned. One thread at a time.
class DK_API dkWorkFlowDiagram : public dkCheckableObject {
public:
    dkWorkFlowDiagram();
    explicit dkWorkFlowDiagram(dkDatastore* datastore);
    dkWorkFlowDiagram(dkDatastore* datastore, const char* name, const char* description);
    ~dkWorkFlowDiagram() override;

    void checkin() override;
    void checkout() override;
    void unlockCheckedOut() override;
    DKString getCheckedOutUserid() override;
    virtual DKString getItemId();
    virtual void setItemId(const char* itemId);
    virtual DKString getCompId();
    virtual void setCompId(const char* compId);
    virtual DKString getACLName();
    virtual void setACLName(const char* aclName);
    // The diagram text; empty when there is none.
    virtual DKString getData() const;
    // Keeps a copy of the text; a null or empty text leaves no diagram data.
    virtual void setData(const char* data);
    // Writes the text ("w+"); no text writes an empty file.
    virtual void getDataToFile(const char* fileName) const;
    // Reads the whole file ("r") as the text, up to its first zero byte.
    virtual void setDataFromFile(const char* fileName);
    virtual void add();
    virtual void del();
    virtual void update();
    virtual void retrieve();
    virtual dkDatastore* getDatastore();
    virtual void setDatastore(dkDatastore* datastore);
    virtual DKString getDescription();
    virtual void setDescription(const char* description);
    virtual DKString getName();
    virtual void setName(const char* name);

private:
    DKString itemId_;
    DKString compId_;
    DKString aclName_;
    PWorkFlowBuffer data_;     // null when there is no text
    dkDatastore* datastore_;   // not owned
    DKString description_;
    DKString name_;
};

// The workflow management entry point of a datastore. Keeps the datastore, not owned; one thread
// at a time.
class DK_API dkWorkFlowMgmt {
public:
    dkWorkFlowMgmt();
    explicit dkWorkFlowMgmt(dkDatastore* datastore);
    virtual ~dkWorkFlowMgmt();
    virtual dkDatastore* getDatastore();
    virtual void setDatastore(dkDatastore* datastore);

private:
    dkDatastore* datastore_;   // not owned
};
