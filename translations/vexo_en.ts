<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>TAnalyserListModel</name>
    <message>
        <source>代理</source>
        <translation>Proxy</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>网关</source>
        <translation>Gateway</translation>
    </message>
    <message>
        <source>匿名</source>
        <translation>Anonymous</translation>
    </message>
    <message>
        <source>等级</source>
        <translation>Level</translation>
    </message>
    <message>
        <source>速度</source>
        <translation>Speed</translation>
    </message>
    <message>
        <source>类型</source>
        <translation>Type</translation>
    </message>
    <message>
        <source>国家</source>
        <translation>Country</translation>
    </message>
    <message>
        <source>网络</source>
        <translation>Network</translation>
    </message>
    <message>
        <source>可用率</source>
        <translation>Uptime</translation>
    </message>
    <message>
        <source>最后可用</source>
        <translation>Last good</translation>
    </message>
    <message>
        <source>%2 次检查中 %1 次可用</source>
        <translation>%1 of %2 checks good</translation>
    </message>
</context>
<context>
    <name>TProxyListModel</name>
    <message>
        <source>代理</source>
        <translation>Proxy</translation>
    </message>
    <message>
        <source>端口</source>
        <translation>Port</translation>
    </message>
</context>
<context>
    <name>TSiteListModel</name>
    <message>
        <source>站点</source>
        <translation>Site</translation>
    </message>
    <message>
        <source>状态</source>
        <translation>Status</translation>
    </message>
</context>
<context>
    <name>TfrmLeecher</name>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>中断</source>
        <translation>Abort</translation>
    </message>
    <message>
        <source>自动吸附</source>
        <translation>Automate</translation>
    </message>
    <message>
        <source>定时吸附</source>
        <translation>Leech again on a timer</translation>
    </message>
    <message>
        <source>时</source>
        <translation>Hr</translation>
    </message>
    <message>
        <source>分</source>
        <translation>Min</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>Sec</translation>
    </message>
    <message>
        <source>线程超时:</source>
        <translation>Timeout:</translation>
    </message>
    <message>
        <source>剩余时间:</source>
        <translation>Next run:</translation>
    </message>
    <message>
        <source>结果统计:</source>
        <translation>Results:</translation>
    </message>
    <message>
        <source>站点:</source>
        <translation>Sites:</translation>
    </message>
    <message>
        <source>代理:</source>
        <translation>Proxies:</translation>
    </message>
    <message>
        <source>次数:</source>
        <translation>Runs:</translation>
    </message>
    <message>
        <source>超时:</source>
        <translation>Timeouts:</translation>
    </message>
    <message>
        <source>打开选项菜单</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>打开代理分析</source>
        <translation>Proxy Analyser</translation>
    </message>
    <message>
        <source>从剪贴板粘贴站点</source>
        <translation>Paste Sites from Clipboard</translation>
    </message>
    <message>
        <source>从 Google 吸附代理</source>
        <translation>Leech Proxies from Google</translation>
    </message>
    <message>
        <source>等待载入</source>
        <translation>Ready</translation>
    </message>
    <message>
        <source>添加站点</source>
        <translation>Add Site</translation>
    </message>
    <message>
        <source>删除选定站点</source>
        <translation>Delete Selected Sites</translation>
    </message>
    <message>
        <source>复制选定站点到剪贴板</source>
        <translation>Copy Selected Sites to Clipboard</translation>
    </message>
    <message>
        <source>在浏览器中打开站点</source>
        <translation>Open Site in Browser</translation>
    </message>
    <message>
        <source>从文件中导入站点列表</source>
        <translation>Load Sites from File</translation>
    </message>
    <message>
        <source>保存站点列表到文件</source>
        <translation>Save Sites to File</translation>
    </message>
    <message>
        <source>验证站点</source>
        <translation>Verify Sites</translation>
    </message>
    <message>
        <source>删除无效站点</source>
        <translation>Delete Bad Sites</translation>
    </message>
    <message>
        <source>删除超时站点</source>
        <translation>Delete Timed-out Sites</translation>
    </message>
    <message>
        <source>删除0代理站点</source>
        <translation>Delete Sites with 0 Proxies</translation>
    </message>
    <message>
        <source>删除选定代理</source>
        <translation>Delete Selected Proxies</translation>
    </message>
    <message>
        <source>复制选定代理到剪贴板</source>
        <translation>Copy Selected Proxies to Clipboard</translation>
    </message>
    <message>
        <source>保存代理列表到文件</source>
        <translation>Save Proxies to File</translation>
    </message>
</context>
<context>
    <name>TfrmOptions</name>
    <message>
        <source>选项</source>
        <translation>Options</translation>
    </message>
    <message>
        <source>连接</source>
        <translation>Connection</translation>
    </message>
    <message>
        <source>使用代理</source>
        <translation>Use a proxy</translation>
    </message>
    <message>
        <source>代理要密码</source>
        <translation>Log in to proxy</translation>
    </message>
    <message>
        <source>用户名:</source>
        <translation>User:</translation>
    </message>
    <message>
        <source>密  码:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <source>超时重试</source>
        <translation>Retry timeouts</translation>
    </message>
    <message>
        <source>载入选项</source>
        <translation>Loading</translation>
    </message>
    <message>
        <source>站点列表</source>
        <translation>Site list</translation>
    </message>
    <message>
        <source>保存选项</source>
        <translation>Saving</translation>
    </message>
    <message>
        <source>写入临时文件</source>
        <translation>Write temp file</translation>
    </message>
    <message>
        <source>关闭时删除</source>
        <translation>Delete on exit</translation>
    </message>
    <message>
        <source>重复时覆盖</source>
        <translation>Remove duplicates</translation>
    </message>
    <message>
        <source>高级</source>
        <translation>Advanced</translation>
    </message>
    <message>
        <source>尝试“高级”吸附</source>
        <translation>Try &quot;special&quot; leeching</translation>
    </message>
    <message>
        <source>尝试“高级” Google 吸附</source>
        <translation>Try &quot;special&quot; Google leeching</translation>
    </message>
    <message>
        <source>搜索引擎</source>
        <translation>Search engine</translation>
    </message>
    <message>
        <source>引擎:</source>
        <translation>Engine:</translation>
    </message>
    <message>
        <source>地址:</source>
        <translation>Host:</translation>
    </message>
    <message>
        <source>URL:</source>
        <translation>URL:</translation>
    </message>
    <message>
        <source>链接:</source>
        <translation>Links:</translation>
    </message>
    <message>
        <source>间隔(秒):</source>
        <translation>Interval (s):</translation>
    </message>
</context>
<context>
    <name>TfrmProxy</name>
    <message>
        <source>添加代理</source>
        <translation>Add Proxy</translation>
    </message>
    <message>
        <source>删除选定代理</source>
        <translation>Delete Selected Proxies</translation>
    </message>
    <message>
        <source>设置为IE代理</source>
        <translation>Use as System Proxy</translation>
    </message>
    <message>
        <source>复制选定代理到剪贴板</source>
        <translation>Copy Selected Proxies to Clipboard</translation>
    </message>
    <message>
        <source>删除重复代理</source>
        <translation>Remove Duplicates</translation>
    </message>
    <message>
        <source>删除无效代理</source>
        <translation>Delete Bad Proxies</translation>
    </message>
    <message>
        <source>删除超时代理</source>
        <translation>Delete Timeouts</translation>
    </message>
    <message>
        <source>删除网关</source>
        <translation>Delete Gateways</translation>
    </message>
    <message>
        <source>删除未知代理</source>
        <translation>Delete Unknowns</translation>
    </message>
    <message>
        <source>保存选定结果到文件</source>
        <translation>Save Selected to File</translation>
    </message>
    <message>
        <source>保存所有结果到文件</source>
        <translation>Save All to File</translation>
    </message>
    <message>
        <source>重试无效代理</source>
        <translation>Retry Bad Proxies</translation>
    </message>
    <message>
        <source>重试超时代理</source>
        <translation>Retry Timeouts</translation>
    </message>
    <message>
        <source>重试未知代理</source>
        <translation>Retry Unknowns</translation>
    </message>
    <message>
        <source>代理分析</source>
        <translation>Proxy Analyser</translation>
    </message>
    <message>
        <source>开始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>中断</source>
        <translation>Abort</translation>
    </message>
    <message>
        <source>在浏览器中打开验证地址</source>
        <translation>Open Judge in Browser</translation>
    </message>
    <message>
        <source>重试503代理</source>
        <translation>Retry 503 answers</translation>
    </message>
    <message>
        <source>探测类型</source>
        <translation>Detect type</translation>
    </message>
    <message>
        <source>验证地址:</source>
        <translation>Judge:</translation>
    </message>
    <message>
        <source>线程超时:</source>
        <translation>Timeout:</translation>
    </message>
    <message>
        <source>秒</source>
        <translation>Sec</translation>
    </message>
    <message>
        <source>结果统计:</source>
        <translation>Results:</translation>
    </message>
    <message>
        <source>导入代理列表</source>
        <translation>Load Proxy List</translation>
    </message>
    <message>
        <source>保存代理列表</source>
        <translation>Save Proxy List</translation>
    </message>
    <message>
        <source>清理选项</source>
        <translation>Clean List</translation>
    </message>
    <message>
        <source>从剪贴板粘贴代理</source>
        <translation>Paste Proxies</translation>
    </message>
    <message>
        <source>重试无效代理</source>
        <comment>the button that opens the retry menu</comment>
        <translation>Retry Proxies</translation>
    </message>
    <message>
        <source>等待载入</source>
        <translation>Ready</translation>
    </message>
</context>
</TS>
