-- A real client: Neovim headless, with the shipped plugin of editors/nvim (run.sh puts it on
-- the runtimepath before start-up, so its ftdetect script runs as an installed one would),
-- drives zqasm-lsp through a program whose include file has an error: diagnostics,
-- definition, hover, folding, inlay hints and a rename across the two files. On Neovim 0.7 the
-- plugin takes its start_client and buf_attach_client path. Run by run.sh with the server,
-- the chip folder and a scratch folder in the environment.
local server = os.getenv('ZQASM_LSP')
local chips = os.getenv('ZQASM_CHIPS')
local dir = os.getenv('ZQASM_WORK')

local function fail(text)
  io.stderr:write('nvim session: ' .. text .. '\n')
  vim.cmd('cquit 1')
end

local function step(text) io.stdout:write('nvim session: ' .. text .. '\n') end

local function write(name, lines)
  local file = assert(io.open(dir .. '/' .. name, 'w'))
  file:write(table.concat(lines, '\n') .. '\n')
  file:close()
end

write('zqasm.json', { '{"includeDirs": ["."]}' })
write('defs.inc', { 'LIMIT EQU 0FH', 'DELAY: LDA LIMIT', ' BAD', ' RET' })
write('main.asm', { '.CHIP ZQ4460', ' #include <defs.inc>', 'START: CALL DELAY', ' JMP START',
  '#IFDEF DEBUG', ' NOP', ' NOP', '#ENDIF' })
local main, defs = dir .. '/main.asm', dir .. '/defs.inc'

vim.g.zqasm_associate_files = true
require('zqasm').setup({ cmd = { server }, chip_dir = chips })

-- The file gets the filetype zqasm, and the plugin attaches a client to it.
vim.cmd('edit ' .. main)
if vim.bo.filetype ~= 'zqasm' then return fail('filetype ' .. vim.bo.filetype) end
if not vim.wait(10000, function() return next(vim.lsp.buf_get_clients(0)) ~= nil end, 50) then
  return fail('the server did not start')
end
local client, attached = next(vim.lsp.buf_get_clients(0))
if attached.name ~= 'zqasm' then return fail('a client ' .. attached.name) end
step('client attached by the plugin (' .. (vim.lsp.start and 'vim.lsp.start' or 'start_client') .. ')')
local defsBuffer = vim.uri_to_bufnr(vim.uri_from_fname(defs))

-- The error of the include file, published to its own URI.
if not vim.wait(10000, function() return #vim.diagnostic.get(defsBuffer) > 0 end, 50) then
  return fail('no diagnostics for defs.inc')
end
local d = vim.diagnostic.get(defsBuffer)[1]
if d.lnum ~= 2 or not d.message:find("illegal opcode 'BAD'") then
  return fail('unexpected diagnostic ' .. d.lnum .. ' ' .. d.message)
end
step('diagnostic in defs.inc: ' .. d.message)

-- Go to the definition of DELAY, in the other file.
vim.api.nvim_win_set_cursor(0, { 3, 13 })
vim.lsp.buf.definition()
if not vim.wait(5000, function() return vim.api.nvim_buf_get_name(0) == vim.fn.resolve(defs) or
    vim.api.nvim_buf_get_name(0) == defs end, 50) then
  return fail('definition did not open defs.inc')
end
local row = vim.api.nvim_win_get_cursor(0)[1]
if row ~= 2 then return fail('definition at line ' .. row) end
step('definition: defs.inc line ' .. row)

-- The hover of the label: its address. The plugin attached the include file to the same
-- client (one per root).
if not vim.wait(5000, function() return vim.lsp.buf_get_clients(0)[client] ~= nil end, 50) then
  return fail('defs.inc has no client')
end
local hover = vim.lsp.buf_request_sync(0, 'textDocument/hover', {
  textDocument = { uri = vim.uri_from_bufnr(0) },
  position = { line = 1, character = 1 },
}, 5000)
local value = hover and hover[client] and hover[client].result and hover[client].result.contents.value
if not value or not value:find('label %*%*DELAY%*%* address 0000h') then
  return fail('hover: ' .. tostring(value))
end
step('hover: ' .. (value:gsub('\n.*', '')))

-- Mend the line: the diagnostics clear.
vim.api.nvim_buf_set_lines(0, 2, 3, false, { ' NOP' })
if not vim.wait(10000, function() return #vim.diagnostic.get(defsBuffer) == 0 end, 50) then
  return fail('the diagnostics did not clear')
end
step('diagnostics cleared')

-- A request of the client's own buffer in the main source, its answer checked by `check`.
local mainBuffer = vim.uri_to_bufnr(vim.uri_from_fname(main))
local function ask(method, params, check)
  params.textDocument = { uri = vim.uri_from_bufnr(mainBuffer) }
  local answers = vim.lsp.buf_request_sync(mainBuffer, method, params, 5000)
  local answer = answers and answers[client]
  if not answer or answer.err then
    return fail(method .. ': ' .. vim.inspect(answer and answer.err))
  end
  return check(answer.result)
end

-- Folding: the conditional block, lines 5 to 8.
local folded = ask('textDocument/foldingRange', {}, function(ranges)
  for _, r in ipairs(ranges or {}) do
    if r.startLine == 4 and r.endLine == 7 then return true end
  end
  return fail('folding ranges ' .. vim.inspect(ranges))
end)
if not folded then return end
step('folding: lines 5-8')

-- Inlay hints: with the include mended, START stands at 0003h.
local function label(hint)
  if type(hint.label) == 'string' then return hint.label end
  local text = ''
  for _, part in ipairs(hint.label) do text = text .. part.value end
  return text
end
local hinted = ask('textDocument/inlayHint',
  { range = { start = { line = 0, character = 0 }, ['end'] = { line = 8, character = 0 } } },
  function(hints)
    for _, h in ipairs(hints or {}) do
      if h.position.line == 2 and label(h):find('0003h') then return label(h) end
    end
    return fail('inlay hints ' .. vim.inspect(hints))
  end)
if not hinted then return end
step('inlay hint of START: ' .. hinted)

-- Rename DELAY from its use in the main source: the label in defs.inc follows.
vim.cmd('buffer ' .. mainBuffer)
vim.api.nvim_win_set_cursor(0, { 3, 13 })
vim.lsp.buf.rename('PAUSE')
local function renamed()
  return vim.api.nvim_buf_get_lines(mainBuffer, 2, 3, false)[1] == 'START: CALL PAUSE' and
      vim.api.nvim_buf_get_lines(defsBuffer, 1, 2, false)[1] == 'PAUSE: LDA LIMIT'
end
if not vim.wait(5000, renamed, 50) then
  return fail('rename: ' .. vim.inspect(vim.api.nvim_buf_get_lines(mainBuffer, 0, -1, false)) ..
    vim.inspect(vim.api.nvim_buf_get_lines(defsBuffer, 0, -1, false)))
end
step('rename: DELAY is PAUSE in both files')

vim.lsp.stop_client(client)
vim.wait(5000, function() return vim.lsp.client_is_stopped(client) end, 50)
vim.cmd('qall!')
