-- Wireshark dissector for CCCI, the command protocol of the Vanta devices.
--
-- It decodes
--   * the traces of `vanta-cli --trace FILE` (pcapng, link type USER0, one
--     frame per packet, the direction in the packet flags, SSH shell text
--     marked by the packet comment "shell"), and
--   * TCP captures of the CCCI port (tcpdump), with frames reassembled when
--     they span several segments.
--
-- Load it for one run:
--   wireshark -X lua_script:tools/wireshark/ccci.lua trace.pcapng
--   tshark    -X lua_script:tools/wireshark/ccci.lua -r trace.pcapng
-- or copy this one file into the personal Lua plugins folder (Help > About
-- Wireshark > Folders). A device on another TCP port:
--   -o ccci.tcp_port:PORT   (or Decode As... / -d tcp.port==PORT,ccci)
--
-- The tables between the marker lines come from the client's own catalogue;
-- after changing the catalogue run `gen_ccci_table --update` on this file (a
-- test fails while they differ).

-- BEGIN GENERATED TABLES (gen_ccci_table; edit the C++ catalogue, not these lines)
local CATALOGUE = {
  head_size = 20,
  stop_extcmd = 65535,
  default_port = 5040,
  max_frame_size = 1073741824,
  flags = { ftp = 1, nak = 2, gz = 4, tgz = 8 },
  text_len = { file_name = 64, scratch_name = 128, start_user = 64, start_secret = 72 },
  -- requests: name, CMD, Priv, ExtCmd, request layout, answer route
  commands = {
    { name = "CCC_SESSION_STR_ADV", cmd = 1, priv = 1, extcmd = 2, layout = "none", answer = "session" },
    { name = "CCC_SESSION_STR_SUP", cmd = 1, priv = 2, extcmd = 3, layout = "none", answer = "session" },
    { name = "ccc_start_s", cmd = 1, priv = 0, extcmd = 0, layout = "start_record", answer = "session" },
    { name = "CCC_SESSION_STP", cmd = 1, priv = 0, extcmd = 65535, layout = "none", answer = "none" },
    { name = "CCC_IDENTIFY_BASIC", cmd = 2, priv = 0, extcmd = 0, layout = "none", answer = "identity_basic" },
    { name = "CCC_IDENTIFY_ALL", cmd = 2, priv = 0, extcmd = 1, layout = "none", answer = "identity_full" },
    { name = "CCC_SETUP_RD_ALL", cmd = 3, priv = 0, extcmd = 1, layout = "none", answer = "setup" },
    { name = "CCC_SETUP_RD_ONE", cmd = 3, priv = 0, extcmd = 2, layout = "file_name", answer = "setup" },
    { name = "CCC_SETUP_WR", cmd = 3, priv = 1, extcmd = 3, layout = "file_upload", answer = "setup" },
    { name = "CCC_STREAM_START", cmd = 4, priv = 0, extcmd = 1, layout = "object", answer = "stream" },
    { name = "CCC_STREAM_GET_NXT", cmd = 4, priv = 0, extcmd = 2, layout = "object", answer = "stream" },
    { name = "CCC_STREAM_STOP", cmd = 4, priv = 0, extcmd = 65535, layout = "object", answer = "none" },
    { name = "CCC_READOUT_REC_LS", cmd = 5, priv = 0, extcmd = 0, layout = "none", answer = "readout" },
    { name = "CCC_READOUT_REC_RD", cmd = 5, priv = 0, extcmd = 1, layout = "file_name", answer = "readout" },
    { name = "CCC_READOUT_REC_RM", cmd = 5, priv = 0, extcmd = 2, layout = "file_name", answer = "readout" },
    { name = "CCC_READOUT_REC_RMALL", cmd = 5, priv = 0, extcmd = 3, layout = "none", answer = "readout" },
    { name = "CCC_READOUT_EVT_LS", cmd = 5, priv = 0, extcmd = 16, layout = "none", answer = "readout" },
    { name = "CCC_READOUT_EVT_RD", cmd = 5, priv = 0, extcmd = 17, layout = "file_name", answer = "readout" },
    { name = "CCC_READOUT_EVT_RM", cmd = 5, priv = 0, extcmd = 18, layout = "file_name", answer = "readout" },
    { name = "CCC_READOUT_EVT_RMALL", cmd = 5, priv = 0, extcmd = 19, layout = "none", answer = "readout" },
    { name = "CCC_READOUT_DISP_RD", cmd = 5, priv = 0, extcmd = 33, layout = "none", answer = "readout" },
    { name = "CCC_READOUT_LOGD_RD", cmd = 5, priv = 0, extcmd = 34, layout = "none", answer = "readout" },
    { name = "CCC_LUA_COMMAND", cmd = 6, priv = 1, extcmd = 0, layout = "lua_text", answer = "lua" },
    { name = "CCC_SCRATCH_PAD_RD", cmd = 7, priv = 0, extcmd = 1, layout = "file_name", answer = "scratchpad" },
    { name = "CCC_SCRATCH_PAD_WR", cmd = 7, priv = 0, extcmd = 2, layout = "scratchpad_upload", answer = "scratchpad" },
    { name = "CCC_SCRATCH_PAD_RM", cmd = 7, priv = 0, extcmd = 3, layout = "file_name", answer = "scratchpad" },
    { name = "CCC_TUNNEL_NTP_OPEN", cmd = 9, priv = 1, extcmd = 0, layout = "none", answer = "ntp" },
    { name = "CCC_TUNNEL_NTP_CLOSE", cmd = 9, priv = 1, extcmd = 1, layout = "none", answer = "ntp" },
    { name = "CCC_TUNNEL_NTP_REPLY", cmd = 9, priv = 1, extcmd = 3, layout = "ntp_reply", answer = "is_answer" },
  },
  -- CMD groups a received frame is routed to
  groups = {
    [1] = "session",
    [2] = "identity",
    [3] = "setup",
    [4] = "stream",
    [5] = "readout",
    [6] = "Lua output",
    [7] = "scratchpad",
    [9] = "NTP tunnel",
    [10] = "device text stream",
  },
  -- frames the device sends that answer no request of the same header
  device_frames = {
    ["6:1"] = "Lua output",
    ["6:2"] = "Lua error output",
    ["6:3"] = "Lua end of output",
    ["4:3"] = "stream data",
    ["9:2"] = "NTP time request",
    ["10:5"] = "device text",
  },
  naks = {
    [2] = "file not found",
    [3] = "file cannot be stored",
    [4] = "unknown or malformed request",
    [13] = "user has no access to this function",
    [30] = "setup rejected",
    [40] = "unknown stream",
    [100] = "no session",
    [111] = "session refused",
    [120] = "two connections already open",
    [134] = "protocol 5 not supported",
  },
}
-- END GENERATED TABLES

local HEAD = CATALOGUE.head_size

-- (CMD, Priv, ExtCmd) -> request definition
local by_triple = {}
local LUA_CMD = nil -- the group whose answers are Lua output
for _, c in ipairs(CATALOGUE.commands) do
  by_triple[c.cmd .. ":" .. c.priv .. ":" .. c.extcmd] = c
  if c.layout == "lua_text" then LUA_CMD = c.cmd end
end

local DIR_TO_DEVICE = "client->device"
local DIR_FROM_DEVICE = "device->client"

local ccci = Proto("ccci", "CCCI (Vanta device protocol)")

local pf = {
  cmd = ProtoField.string("ccci.cmd", "Command"),
  cmdid = ProtoField.uint8("ccci.cmdid", "CMD", base.DEC),
  priv = ProtoField.uint8("ccci.priv", "Priv", base.DEC),
  extcmd = ProtoField.uint16("ccci.extcmd", "ExtCmd", base.DEC),
  ver = ProtoField.uint16("ccci.ver", "Ver", base.DEC),
  ftpnak = ProtoField.uint16("ccci.ftpnak", "FTPNAK", base.HEX),
  f_ftp = ProtoField.bool("ccci.ftpnak.ftp", "Files via FTP", 16, nil, CATALOGUE.flags.ftp),
  f_nak = ProtoField.bool("ccci.ftpnak.nak", "NAK", 16, nil, CATALOGUE.flags.nak),
  f_gz = ProtoField.bool("ccci.ftpnak.gz", "gzip files", 16, nil, CATALOGUE.flags.gz),
  f_tgz = ProtoField.bool("ccci.ftpnak.tgz", "tar+gzip files", 16, nil, CATALOGUE.flags.tgz),
  sn = ProtoField.uint32("ccci.sn", "SN", base.DEC),
  size = ProtoField.uint32("ccci.size", "Size", base.DEC),
  seq = ProtoField.uint32("ccci.seq", "SeqCnt", base.DEC),
  dir = ProtoField.string("ccci.dir", "Direction"),
  nak = ProtoField.uint32("ccci.nak", "NAK code", base.DEC),
  naktext = ProtoField.string("ccci.naktext", "NAK meaning"),
  nakmsg = ProtoField.string("ccci.nakmsg", "NAK message"),
  lua = ProtoField.string("ccci.lua", "Lua text"),
  text = ProtoField.string("ccci.text", "Device text"),
  filename = ProtoField.string("ccci.filename", "File name"),
  pos = ProtoField.uint32("ccci.pos", "Resume position", base.DEC),
  object = ProtoField.uint32("ccci.object", "Object id or handle", base.DEC),
  method = ProtoField.uint32("ccci.method", "Start method", base.DEC, { [0] = "password", [1] = "ticket" }),
  user = ProtoField.string("ccci.user", "User"),
  sernum = ProtoField.uint32("ccci.sernum", "Serial number", base.DEC),
  artnum = ProtoField.uint32("ccci.artnum", "Article number", base.DEC),
  payload = ProtoField.bytes("ccci.payload", "Payload"),
  missing = ProtoField.uint32("ccci.missing", "Payload bytes not in the trace", base.DEC),
}
ccci.fields = pf

local ef_short = ProtoExpert.new("ccci.short", "Frame shorter than its header", expert.group.MALFORMED, expert.severity.ERROR)
local ef_size = ProtoExpert.new("ccci.badsize", "Size below the header length", expert.group.MALFORMED, expert.severity.ERROR)
local ef_nak = ProtoExpert.new("ccci.nak.expert", "NAK", expert.group.RESPONSE_CODE, expert.severity.WARN)
local ef_streamed = ProtoExpert.new("ccci.streamed", "Payload not in the trace (the client wrote it straight to a file)",
  expert.group.UNDECODED, expert.severity.NOTE)
ccci.experts = { ef_short, ef_size, ef_nak, ef_streamed }

ccci.prefs.tcp_port = Pref.uint("TCP port", CATALOGUE.default_port, "TCP port of the device's CCCI service")

-- Fields of other dissectors this one reads.
local function field(name)
  local ok, f = pcall(Field.new, name)
  if ok then return f end
  return nil
end
local f_comment = field("frame.comment")
local f_flags_dir = field("frame.packet_flags_direction")
local f_tcp_port = field("tcp.srcport")

local function has_bit(value, mask)
  return math.floor(value / mask) % 2 == 1
end

-- NAK bit set and no bit above bit 3: only then is the frame a NAK record.
local function is_nak(flags)
  return flags < 16 and has_bit(flags, CATALOGUE.flags.nak)
end

-- Texts on the wire are 8-bit; Wireshark shows UTF-8.
local function latin1(raw)
  return (raw:gsub("[\128-\255]", function(c)
    local b = c:byte()
    return string.char(0xC0 + math.floor(b / 64), 0x80 + b % 64)
  end))
end

-- A zero-filled fixed text field.
local function fixed_text(range)
  local raw = range:raw()
  local z = raw:find("\0", 1, true)
  if z then raw = raw:sub(1, z - 1) end
  return latin1(raw)
end

local function frame_name(cmd, priv, ext, to_device)
  local c = by_triple[cmd .. ":" .. priv .. ":" .. ext]
  if c then return c.name, c end
  if not to_device then
    local d = CATALOGUE.device_frames[cmd .. ":" .. ext]
    if d then return d, nil end
  end
  local g = CATALOGUE.groups[cmd]
  if g then return g .. " (ExtCmd " .. ext .. ")", nil end
  return "unknown CMD " .. cmd, nil
end

-- Adds a text as one item and, for reading, one item per line.
local function add_text(tree, fieldp, range, text)
  local item = tree:add(fieldp, range, text)
  local n = 0
  for line in text:gmatch("[^\r\n]+") do
    n = n + 1
    if n > 500 then
      item:add(range, "[more lines]")
      break
    end
    item:add(range, line)
  end
  return item
end

local function direction(pinfo, tcp)
  if tcp then
    local port = pinfo.match_uint
    if port == nil or port == 0 then port = ccci.prefs.tcp_port end
    return pinfo.dst_port == port
  end
  local d = pinfo.p2p_dir
  if d == 0 then return true end
  if d == 1 then return false end
  if f_flags_dir then
    local v = f_flags_dir()
    if v then return v.value % 4 == 2 end
  end
  return nil
end

-- Decodes the frame starting at the beginning of `tvb`; the packet may hold
-- less than Size bytes (a payload the client streamed to a file). Returns the
-- bytes it used.
local function dissect_frame(tvb, pinfo, tree, to_device)
  local avail = tvb:len()
  local t = tree:add(ccci, tvb(0, math.min(avail, math.max(HEAD, 1))))
  if avail < HEAD then
    t:add_proto_expert_info(ef_short)
    return avail
  end
  local cmd = tvb(0, 1):le_uint()
  local priv = tvb(1, 1):le_uint()
  local ext = tvb(2, 2):le_uint()
  local flags = tvb(6, 2):le_uint()
  local size = tvb(12, 4):le_uint()
  local name, def = frame_name(cmd, priv, ext, to_device)
  local nak = (to_device ~= true) and is_nak(flags)

  local dir_text = to_device == nil and "unknown" or (to_device and DIR_TO_DEVICE or DIR_FROM_DEVICE)
  t:add(pf.dir, tvb(0, 0), dir_text):set_generated()
  t:add(pf.cmd, tvb(0, 4), name):set_generated()
  t:add_le(pf.cmdid, tvb(0, 1))
  t:add_le(pf.priv, tvb(1, 1))
  t:add_le(pf.extcmd, tvb(2, 2))
  t:add_le(pf.ver, tvb(4, 2))
  local ft = t:add_le(pf.ftpnak, tvb(6, 2))
  ft:add_le(pf.f_ftp, tvb(6, 2))
  ft:add_le(pf.f_nak, tvb(6, 2))
  ft:add_le(pf.f_gz, tvb(6, 2))
  ft:add_le(pf.f_tgz, tvb(6, 2))
  t:add_le(pf.sn, tvb(8, 4))
  local st = t:add_le(pf.size, tvb(12, 4))
  t:add_le(pf.seq, tvb(16, 4))
  if size < HEAD then
    st:add_proto_expert_info(ef_size)
    return HEAD
  end

  local used = math.min(size, avail)
  t:set_len(used)
  local plen = used - HEAD
  local payload = plen > 0 and tvb(HEAD, plen) or nil

  local info = (to_device and "> " or (to_device == false and "< " or "")) .. name
  if nak then
    local code = size >= HEAD + 4 and avail >= HEAD + 4 and tvb(HEAD, 4):le_uint() or nil
    if code then
      local meaning = CATALOGUE.naks[code] or "unknown code"
      local ni = t:add_le(pf.nak, tvb(HEAD, 4))
      ni:add_proto_expert_info(ef_nak, "NAK " .. code .. ": " .. meaning)
      t:add(pf.naktext, tvb(HEAD, 4), meaning):set_generated()
      local msg = ""
      if plen > 4 then
        msg = latin1(tvb(HEAD + 4, plen - 4):raw())
        t:add(pf.nakmsg, tvb(HEAD + 4, plen - 4), msg)
      end
      info = info .. " NAK " .. code .. " (" .. meaning .. ")" .. (msg ~= "" and (": " .. msg) or "")
    end
  elseif to_device and def then
    local layout = def.layout
    if layout == "lua_text" and payload then
      local text = latin1(payload:raw()):gsub("\r?\n$", "")
      add_text(t, pf.lua, payload, text)
      info = info .. " " .. text:gsub("%s+", " "):sub(1, 80)
    elseif layout == "file_name" and plen >= CATALOGUE.text_len.file_name + 4 then
      local n = fixed_text(tvb(HEAD, CATALOGUE.text_len.file_name))
      t:add(pf.filename, tvb(HEAD, CATALOGUE.text_len.file_name), n)
      t:add_le(pf.pos, tvb(HEAD + CATALOGUE.text_len.file_name, 4))
      info = info .. " " .. n
    elseif layout == "object" and plen >= 4 then
      t:add_le(pf.object, tvb(HEAD, 4))
      info = info .. " " .. tvb(HEAD, 4):le_uint()
    elseif layout == "scratchpad_upload" and plen >= CATALOGUE.text_len.scratch_name then
      local n = fixed_text(tvb(HEAD, CATALOGUE.text_len.scratch_name))
      t:add(pf.filename, tvb(HEAD, CATALOGUE.text_len.scratch_name), n)
      info = info .. " " .. n
    elseif layout == "start_record" and plen >= 4 + CATALOGUE.text_len.start_user then
      t:add_le(pf.method, tvb(HEAD, 4))
      t:add(pf.user, tvb(HEAD + 4, CATALOGUE.text_len.start_user), fixed_text(tvb(HEAD + 4, CATALOGUE.text_len.start_user)))
      -- the password or ticket stays in the payload bytes only
    end
  elseif to_device == false then
    if cmd == LUA_CMD and payload then
      local text = latin1(payload:raw())
      add_text(t, pf.lua, payload, text)
      info = info .. " " .. text:gsub("%s+", " "):sub(1, 80)
    elseif CATALOGUE.device_frames[cmd .. ":" .. ext] == "device text" and payload then
      local text = latin1(payload:raw())
      add_text(t, pf.text, payload, text)
      info = info .. " " .. text:gsub("%s+", " "):sub(1, 80)
    elseif def and (def.answer == "identity_basic" or def.answer == "identity_full") and plen >= 8 then
      t:add_le(pf.sernum, tvb(HEAD, 4))
      t:add_le(pf.artnum, tvb(HEAD + 4, 4))
    end
  end
  if payload then t:add(pf.payload, payload) end
  if size > used then
    local mi = t:add(pf.missing, tvb(0, 0), size - used)
    mi:set_generated()
    mi:add_proto_expert_info(ef_streamed)
    info = info .. " [" .. (size - used) .. " bytes not in trace]"
  end
  info = info .. " (" .. size .. " bytes)"
  return used, info
end

local function append_info(pinfo, text)
  local old = tostring(pinfo.cols.info)
  if old == "" or old == nil then
    pinfo.cols.info:set(text)
  else
    pinfo.cols.info:set(old .. "; " .. text)
  end
end

-- SSH shell text the trace recorded beside the frames.
local function dissect_shell(tvb, pinfo, tree, to_device)
  local t = tree:add(ccci, tvb())
  t:add(pf.dir, tvb(0, 0), to_device == nil and "unknown" or (to_device and DIR_TO_DEVICE or DIR_FROM_DEVICE)):set_generated()
  t:add(pf.cmd, tvb(0, 0), "shell text"):set_generated()
  local text = latin1(tvb:raw())
  add_text(t, pf.lua, tvb(), text)
  pinfo.cols.info:set((to_device and "> " or "< ") .. "shell: " .. text:gsub("%s+", " "):sub(1, 80))
end

-- One trace packet: normally exactly one frame.
local function dissect_trace(tvb, pinfo, tree)
  pinfo.cols.protocol = "CCCI"
  pinfo.cols.info:set("")
  local to_device = direction(pinfo, false)
  if f_comment then
    for _, c in ipairs({ f_comment() }) do
      if tostring(c.value) == "shell" then
        dissect_shell(tvb, pinfo, tree, to_device)
        return tvb:len()
      end
    end
  end
  local offset = 0
  while offset < tvb:len() do
    local used, info = dissect_frame(tvb(offset):tvb(), pinfo, tree, to_device)
    if info then append_info(pinfo, info) end
    if used <= 0 then break end
    offset = offset + used
  end
  return offset
end

local function frame_length(tvb, pinfo, offset)
  local size = tvb(offset + 12, 4):le_uint()
  if size < HEAD then return HEAD end -- a damaged header: step over it
  if size > CATALOGUE.max_frame_size then return tvb:len() - offset end
  return size
end

local function dissect_tcp_frame(tvb, pinfo, tree)
  pinfo.cols.protocol = "CCCI"
  local used, info = dissect_frame(tvb, pinfo, tree, direction(pinfo, true))
  if info then append_info(pinfo, info) end
  return used
end

function ccci.dissector(tvb, pinfo, tree)
  if f_tcp_port and f_tcp_port() then
    pinfo.cols.info:set("")
    return dissect_tcp_pdus(tvb, tree, HEAD, frame_length, dissect_tcp_frame, true)
  end
  return dissect_trace(tvb, pinfo, tree)
end

local encaps = wtap_encaps or wtap
DissectorTable.get("wtap_encap"):add(encaps.USER0, ccci)

local registered_port = nil
local function register_port()
  local tcp = DissectorTable.get("tcp.port")
  if registered_port then tcp:remove(registered_port, ccci) end
  registered_port = ccci.prefs.tcp_port
  if registered_port ~= 0 then tcp:add(registered_port, ccci) end
end
register_port()

function ccci.prefs_changed()
  if registered_port ~= ccci.prefs.tcp_port then register_port() end
end
