// The command registry: one table from lower-cased command names to handler objects,
// with the rights and argument rules every way of running a command goes through.
#pragma once

#include <Engine/Context.h>
#include <Engine/RefCounted.h>

#include <cstdint>
#include <string>
#include <unordered_map>

namespace Torvane3D
{
    class CResource;
    class CCommandHandlers;

    // A command. Counted, so that a handler removed while it runs (it removes itself, or
    // its resource stops) lives until its Execute returns.
    class CCommandHandler : public CRefCounted
    {
    public:
        // source: the client that issued the command (the console client for typed lines) or none.
        virtual void Execute(const char* szCommand, const char* szArguments, CBaseObject* pSource) = 0;

        CCommandHandlers* GetOwner() const { return m_pOwner; }
        CResource* GetResource() const { return m_pResource; }
        uint32_t GetKey() const { return m_uiKey; }
        const std::string& GetName() const { return m_strName; }
        bool IsAdministratorOnly() const { return m_bAdministratorOnly; }
        void SetAdministratorOnly(bool bAdministratorOnly) { m_bAdministratorOnly = bAdministratorOnly; }

    private:
        friend class CCommandHandlers;

        CCommandHandlers* m_pOwner = nullptr; // none once removed
        CResource* m_pResource = nullptr;
        uint32_t m_uiKey = 0;
        std::string m_strName;
        bool m_bAdministratorOnly = true;
    };

    // The fallback for names no handler has.
    class CUnhandledCommandHandler : public CCommandHandler
    {
    };

    // Where command replies go. The plain one writes to the server log; the remote console
    // puts its own in place while it runs a command.
    // Seam: becomes the engine's Logger once the logging module provides it.
    class CCommandReplyLogger
    {
    public:
        virtual ~CCommandReplyLogger() = default;
        // text is never used as a format.
        virtual void Log(eLogType level, const char* szText) { LogText(level, szText); }
        void LogFormatted(eLogType level, const char* szFormat, ...) TORVANE_PRINTF(3, 4);
    };

    class CCommandHandlers
    {
    public:
        static constexpr size_t MAX_ARGUMENTS_LENGTH = 255;
        static constexpr size_t MAX_LINE_LENGTH = 256;
        static constexpr size_t MAX_TEXT_LENGTH = 255;

        CCommandHandlers();
        ~CCommandHandlers();
        CCommandHandlers(const CCommandHandlers&) = delete;
        CCommandHandlers& operator=(const CCommandHandlers&) = delete;

        // CRC-32 of the name up to its first NUL, ASCII letters lower-cased.
        static uint32_t GetCommandKey(const char* szName);

        // Registers a built-in command; takes over the creator's count. A taken name
        // refuses the handler, which is then released: false.
        bool AddCommandHandler(CCommandHandler* pHandler, const char* szName);
        // Registers a resource's command; takes over the creator's count. A taken name is
        // replaced only when bReplace is set and the holder belongs to the same resource;
        // built-in commands and other resources' commands are never replaced.
        bool AddResourceCommandHandler(CCommandHandler* pHandler, const char* szName, CResource* pResource,
            bool bReplace);
        // Removes the named handler when pCaller is none or owns it.
        bool RemoveCommandHandler(const char* szName, CResource* pCaller);
        bool HasCommandHandler(const char* szName) const;
        CCommandHandler* GetCommandHandler(const char* szName) const;
        // Removes every handler the resource registered (its stop and its destruction).
        void RemoveHandlers(CResource* pResource);
        size_t GetCount() const { return m_Handlers.size(); }

        // Takes over the creator's count; none removes the fallback.
        void SetUnhandledCommandHandler(CUnhandledCommandHandler* pHandler);
        CUnhandledCommandHandler* GetUnhandledCommandHandler() const { return m_pUnhandled; }

        // Runs a command whose name and arguments are already apart. False when there is no
        // such command or the caller lacks the right; the arguments are cut to 255 bytes
        // and lose their trailing CR and LF.
        bool Trigger(const char* szCommand, const char* szArguments, CBaseObject* pSource, bool bAdministrator);
        // Splits a line at its first space, CR or LF into name and arguments and runs it;
        // an unknown or refused command goes to the fallback when the rights allow.
        bool ConsoleCommandOnly(const char* szLine, CBaseObject* pSource, bool bAdministrator);
        // A chat line (goes to `say`) or a slash command.
        bool ConsoleCommand(const char* szText, CBaseObject* pSource, bool bAdministrator);

        bool GetPassSourceToScripts() const { return m_bPassSourceToScripts; }
        void SetPassSourceToScripts(bool bPass) { m_bPassSourceToScripts = bPass; }

        CCommandReplyLogger* GetReplyLogger() { return m_pReplyLogger ? m_pReplyLogger : &m_DefaultLogger; }
        // Returns the previous one, for the caller to put back; none restores the plain logger.
        CCommandReplyLogger* SetReplyLogger(CCommandReplyLogger* pLogger);

    private:
        void Unhandled(const char* szCommand, const char* szArguments, CBaseObject* pSource, bool bAdministrator);

        std::unordered_map<uint32_t, Strong<CCommandHandler>> m_Handlers;
        Strong<CUnhandledCommandHandler> m_pUnhandled;
        bool m_bPassSourceToScripts = false;
        CCommandReplyLogger m_DefaultLogger;
        CCommandReplyLogger* m_pReplyLogger = nullptr;
    };
}
