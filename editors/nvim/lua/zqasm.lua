-- zqasm-lsp for buffers of filetype zqasm: require('zqasm').setup({ ... }) in init.lua. One
-- server runs per project root (the nearest folder upward holding one of root_markers, else
-- the file's folder). Neovim 0.8 and later start it with vim.lsp.start, which reuses a client
-- of the same name and root; 0.7 has only start_client and buf_attach_client, so the clients
-- are kept here by root.
local M = {}

M.defaults = {
  cmd = { 'zqasm-lsp' }, -- the server and its arguments
  chip_dir = nil, -- passed as --chip-dir when set
  warnings = nil, -- the trap warnings ('none', or names separated by commas); passed as
  -- --warnings when set (the server's default is 'all')
  root_markers = { 'zqasm.json', '.git' },
}

-- vim.fs.find is 0.8 and later: walk up by hand.
local function find_root(dir, markers)
  while true do
    for _, marker in ipairs(markers) do
      if vim.loop.fs_stat(dir .. '/' .. marker) then
        return dir
      end
    end
    local parent = vim.fn.fnamemodify(dir, ':h')
    if parent == dir then
      return nil
    end
    dir = parent
  end
end

function M.setup(opts)
  local config = vim.tbl_extend('force', M.defaults, opts or {})
  local clients = {} -- root -> client id, for 0.7
  vim.api.nvim_create_autocmd('FileType', {
    group = vim.api.nvim_create_augroup('zqasm_lsp', { clear = true }),
    pattern = 'zqasm',
    callback = function(args)
      local name = vim.api.nvim_buf_get_name(args.buf)
      local dir = name ~= '' and vim.fn.fnamemodify(name, ':p:h') or vim.fn.getcwd()
      local root = find_root(dir, config.root_markers) or dir
      local cmd = vim.deepcopy(config.cmd)
      if config.chip_dir then
        vim.list_extend(cmd, { '--chip-dir', vim.fn.expand(config.chip_dir) })
      end
      if config.warnings then
        vim.list_extend(cmd, { '--warnings', config.warnings })
      end
      local client = { name = 'zqasm', cmd = cmd, root_dir = root }
      if vim.lsp.start then
        vim.lsp.start(client)
        return
      end
      local id = clients[root]
      if not (id and vim.lsp.get_client_by_id(id)) then
        id = vim.lsp.start_client(client)
        clients[root] = id
      end
      if id then
        vim.lsp.buf_attach_client(args.buf, id)
      end
    end,
  })
end

return M
